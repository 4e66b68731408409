// The common save dialog, answered as a user would: the name typed comes back as a whole path
// with the extension added; Cancel gives nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <QDir>
#include <QTemporaryDir>
#include <thread>

#include "platform/savepath.h"
#include "tests/fakes.h"

namespace {

// Waits for the dialog titled title, types name into its file name box and presses Save, or
// Cancel when name is empty. Whether it found the dialog goes to found.
void answerDialog(const wchar_t *title, const std::wstring &name, bool *found) {
    HWND dialog = nullptr;
    for (int i = 0; i < 400 && !dialog; ++i) {
        dialog = FindWindowW(L"#32770", title);
        if (!dialog) Sleep(25);
    }
    *found = dialog != nullptr;
    if (!dialog) return;
    if (!name.empty()) {
        // The file name box: a combo box with an edit (cmb13) or a plain edit (edt1).
        HWND box = GetDlgItem(dialog, 0x47c);
        if (HWND edit = box ? FindWindowExW(box, nullptr, L"Edit", nullptr) : nullptr) box = edit;
        if (!box) box = GetDlgItem(dialog, 0x480);
        SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    PostMessageW(dialog, WM_COMMAND, name.empty() ? IDCANCEL : IDOK, 0);
}

TEST(SaveDialog, TheCommonDialogGivesThePathTypedWithItsExtension) {
    QTemporaryDir dir;
    const QString typed = QDir::toNativeSeparators(dir.filePath("session"));
    const auto chooser = makeSystemSavePathChooser();
    for (const QString &name : {typed, QString()}) {
        SCOPED_TRACE(name.toStdString());
        bool found = false;
        std::thread user(answerDialog, L"Save the history", name.toStdWString(), &found);
        const QString chosen =
            chooser->chooseSavePath(nullptr, "Save the history", "a.csv", "CSV files", "csv");
        user.join();
        ASSERT_TRUE(found) << "no dialog came up";
        EXPECT_EQ(chosen, name.isEmpty() ? QString() : dir.filePath("session.csv"));
    }
}

}  // namespace

// The save dialog on Windows: the common dialog of comdlg32. The Qt built for Windows leaves its
// own file dialog out, and the common dialog is the one Windows users know.
// The order matters: commdlg.h needs what windows.h declares.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <QDir>
#include <QStandardPaths>
#include <QWidget>
#include <string>

#include "platform/savepath.h"

namespace {

class CommonDialogChooser : public SavePathChooser {
public:
    QString chooseSavePath(QWidget *parent, const QString &caption, const QString &suggestedName,
                           const QString &filterName, const QString &extension) override {
        // Pairs of a description and a pattern, each ended by a null, the whole by another.
        std::wstring filter = QStringLiteral("%1 (*.%2)").arg(filterName, extension).toStdWString();
        filter += L'\0';
        filter += QStringLiteral("*.%1").arg(extension).toStdWString();
        filter += L'\0';
        filter += L"All files (*.*)";
        filter += L'\0';
        filter += L"*.*";
        filter += L'\0';
        const std::wstring title = caption.toStdWString();
        const std::wstring suffix = extension.toStdWString();
        const std::wstring folder = QDir::toNativeSeparators(QStandardPaths::writableLocation(
                                                                 QStandardPaths::DocumentsLocation))
                                        .toStdWString();
        // Room for a long path; the dialog writes the chosen one here.
        std::wstring file = suggestedName.toStdWString();
        file.resize(32768, L'\0');

        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = parent ? reinterpret_cast<HWND>(parent->window()->winId()) : nullptr;
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        dialog.lpstrTitle = title.c_str();
        dialog.lpstrDefExt = suffix.c_str();
        // NOCHANGEDIR: norvex reads its list from the folder it started in, which stays as it is.
        dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                       OFN_NOCHANGEDIR;
        bool chosen = GetSaveFileNameW(&dialog);
        if (!chosen && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
            // A name the folder's file system refuses: offer none rather than no dialog.
            file.assign(file.size(), L'\0');
            chosen = GetSaveFileNameW(&dialog);
        }
        if (!chosen) return QString();  // cancelled
        return QDir::fromNativeSeparators(QString::fromWCharArray(file.c_str()));
    }
};

}  // namespace

std::unique_ptr<SavePathChooser> makeSystemSavePathChooser() {
    return std::make_unique<CommonDialogChooser>();
}

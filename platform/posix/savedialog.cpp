// The save dialog on Linux and other Unix desktops: Qt's file dialog.
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QStandardPaths>

#include "platform/savepath.h"

namespace {
class FileDialogChooser : public SavePathChooser {
public:
    FileDialogChooser() {
        // Qt's file dialog writes its folder, history and view into the user's "QtProject"
        // settings file whenever one closes. norvex keeps no settings, so user-scope settings
        // go where no file can ever be made (below a device, not a folder); nothing else in
        // norvex uses them. Within the session the dialog still comes back to its last folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStringLiteral("/dev/null/norvex-keeps-no-settings"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QStringLiteral("/dev/null/norvex-keeps-no-settings"));
    }

    QString chooseSavePath(QWidget *parent, const QString &caption, const QString &suggestedName,
                           const QString &filterName, const QString &extension) override {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!QDir(folder).exists()) folder = QDir::homePath();
        QFileDialog dialog(parent, caption, QDir(folder).filePath(suggestedName),
                           QStringLiteral("%1 (*.%2);;All files (*)").arg(filterName, extension));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(extension);
        dialog.setObjectName(QStringLiteral("saveDialog"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }
};
}  // namespace

std::unique_ptr<SavePathChooser> makeSystemSavePathChooser() {
    return std::make_unique<FileDialogChooser>();
}

#include "savedialog.h"

#include <QFileDialog>
#include <QFileIconProvider>

#include <unistd.h>

namespace {
// Icons and type names from what a file's entry in its folder says.
class PlainIcons : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override
    {
        return icon(info.isDir() ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("文件夹");
        return info.suffix().isEmpty() ? QStringLiteral("文件") : info.suffix() + QStringLiteral(" 文件");
    }
};
} // namespace

QString askSaveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                        const QString &filter)
{
    if (::geteuid() != 0)
        return QFileDialog::getSaveFileName(parent, caption, proposedName, filter);
    PlainIcons icons;
    QFileDialog dialog(parent, caption, proposedName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

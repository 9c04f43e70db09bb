#include "ui/window_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringDecoder>

namespace hydrosk::ui {
namespace {

class QtMessageBoxes final : public MessageBoxes {
public:
    void inform(QWidget* parent, const QString& text, const QString& detail) override {
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kMessageCaption), text, QMessageBox::Ok,
                        parent);
        if (!detail.isEmpty()) box.setInformativeText(detail);
        box.exec();
    }
    bool askYesNo(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kMessageCaption), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        return box.exec() == QMessageBox::Yes;
    }
};

class QtInpFileDialog final : public InpFileDialog {
public:
    QString chooseFile(QWidget* parent, const QString& title, const QString& filter,
                       const QString& directory, const QString& previousFile) override {
        QFileDialog dialog(parent, title, directory, filter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (!previousFile.isEmpty()) dialog.selectFile(previousFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }
};

class QtDesktopLauncher final : public DesktopLauncher {
public:
    bool open(const QUrl& target) override { return QDesktopServices::openUrl(target); }
};

}  // namespace

WindowServices DesktopServices() {
    return {std::make_shared<QtMessageBoxes>(), std::make_shared<QtInpFileDialog>(),
            std::make_shared<QtDesktopLauncher>(),
            ToFileSystemPath(QCoreApplication::applicationDirPath())};
}

std::filesystem::path ToFileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString FromFileSystemPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString DisplayText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return text;
}

}  // namespace hydrosk::ui

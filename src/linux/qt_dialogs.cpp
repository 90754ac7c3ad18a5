#include "linux/qt_dialogs.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QMessageBox>

namespace tavrek {

namespace {

// Separates descriptions and patterns in a filter text.
constexpr char kFilterSeparator = '|';

QStringList splitFilter(const std::string& filter)
{
    return QString::fromStdString(filter).split(QLatin1Char(kFilterSeparator));
}

} // namespace

QStringList qtNameFilters(const std::string& filter)
{
    const QStringList parts = splitFilter(filter);
    QStringList nameFilters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));  // "*.a;*.b" lists patterns on Windows
        nameFilters << (description.contains(QLatin1Char('(')) ? description
                                                                 : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return nameFilters;
}

void keepTypedFileNamesChoosable(QFileDialog& dialog)
{
    auto* fileList = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (!fileList || !fileList->selectionModel())
        return;
    QItemSelectionModel* selection = fileList->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, &dialog, [fileList, selection] {
        const QModelIndex shownFolder = fileList->rootIndex();
        if (shownFolder.isValid() && selection->isSelected(shownFolder))
            selection->select(shownFolder, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    });
}

void letStarDotStarMatchEveryFile(QFileDialog& dialog)
{
    auto* files = dialog.findChild<QFileSystemModel*>();
    if (!files)
        return;
    const auto widen = [files] {
        QStringList patterns = files->nameFilters();
        if (patterns.removeAll(QStringLiteral("*.*")) > 0)
            files->setNameFilters(patterns << QStringLiteral("*"));
    };
    // Sent once the dialog has given the list the chosen filter's patterns.
    QObject::connect(&dialog, &QFileDialog::filterSelected, files, widen);
    widen();
}

std::string showQtOpenDialog(QWidget* parent, const OpenDialogSettings& settings)
{
    QFileDialog dialog(parent, QString::fromStdString(settings.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // No "file must exist" flag: any name is taken as it stands. Qt's dialog
    // has no read-only check box, so the flag that hides it needs nothing.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(qtNameFilters(settings.filter));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);  // firmware.hex matches *.HEX
    letStarDotStarMatchEveryFile(dialog);
    keepTypedFileNamesChoosable(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen.first()).toStdString();
}

void showQtMessageBox(QWidget* parent, const std::string& text)
{
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromLatin1(kProgramTitle));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace tavrek

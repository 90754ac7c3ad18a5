// Qt's own file dialog and message box as the window shows them, driven as
// an operator would: typing into the file-name field, clicking, Return.

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "window_fixture.h"
#include "ui/qt_dialogs.h"

namespace tavrek::test {
namespace {

const OpenDialogSettings kHexDialog{"Select HEX File", kOpenHideReadOnly,
                                    "INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*"};

class OpenDialog : public ::testing::Test {
protected:
    OpenDialog()
    {
        for (const char* name : {"firmware.hex", "OTHER.HEX", "readme.txt"})
            dir.write(name, kEndRecord);
    }

    std::string path(const char* name) const { return (dir.path() / name).string(); }

    // Shows the dialog on the test folder and lets `operate` act in it.
    std::string choose(std::function<void(QFileDialog&)> operate)
    {
        whenShown<QFileDialog>([this, operate](QFileDialog& dialog) {
            dialog.setDirectory(QString::fromStdString(dir.path().string()));
            ASSERT_TRUE(QTest::qWaitFor([&] { return listed(dialog).size() == 2; }));
            operate(dialog);
        });
        return showQtOpenDialog(nullptr, kHexDialog);
    }

    static QLineEdit& nameField(QFileDialog& dialog) { return *dialog.findChild<QLineEdit*>("fileNameEdit"); }
    static QPushButton& openButton(QFileDialog& dialog)
    {
        return *dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open);
    }
    static QStringList listed(QFileDialog& dialog)
    {
        auto* list = dialog.findChild<QAbstractItemView*>("listView");
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
            names << list->model()->index(row, 0, list->rootIndex()).data().toString();
        names.sort();
        return names;
    }
    static void type(QFileDialog& dialog, const std::string& text)
    {
        QTest::keyClicks(&nameField(dialog), QString::fromStdString(text));
    }
    static void erase(QFileDialog& dialog)
    {
        nameField(dialog).selectAll();
        QTest::keyClick(&nameField(dialog), Qt::Key_Backspace);
    }

    TempDir dir;
};

TEST_F(OpenDialog, QtsOwnDialogWithTheTitleFiltersAndTheFocusOnTheFileName)
{
    const std::string chosen = choose([](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select HEX File");
        EXPECT_EQ(dialog.nameFilters(), QStringList({"INHEX32 Files (*.HEX)", "All Files (*.*)"}));
        EXPECT_EQ(dialog.selectedNameFilter(), "INHEX32 Files (*.HEX)");
        EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(QApplication::focusWidget(), &nameField(dialog));
        // The HEX filter matches without regard to case.
        EXPECT_EQ(listed(dialog), QStringList({"OTHER.HEX", "firmware.hex"}));
        dialog.reject();
    });
    EXPECT_EQ(chosen, "");
}

TEST_F(OpenDialog, AFullPathTypedAndReturnChoosesIt)
{
    const std::string wanted = path("firmware.hex");
    EXPECT_EQ(choose([&](QFileDialog& dialog) {
                  type(dialog, wanted);
                  QTest::keyClick(&nameField(dialog), Qt::Key_Return);
              }),
              wanted);
}

TEST_F(OpenDialog, ANameOfAMissingFileIsTakenAsItStands)
{
    EXPECT_EQ(choose([](QFileDialog& dialog) {
                  type(dialog, "absent.hex");
                  EXPECT_TRUE(openButton(dialog).isEnabled());
                  QTest::keyClick(&nameField(dialog), Qt::Key_Return);
              }),
              path("absent.hex"));
}

TEST_F(OpenDialog, AnExistingNameTypedAfterTheFieldWasEmptiedCanBeChosen)
{
    // Round after round, since how Qt's dialog gets stuck depends on when it
    // has looked at the folder.
    const auto retype = [](QFileDialog& dialog) {
        for (const char* name : {"firmware.hex", "OTHER.HEX", "firmware.hex", "OTHER.HEX"}) {
            erase(dialog);
            type(dialog, name);
            EXPECT_TRUE(openButton(dialog).isEnabled()) << name;
        }
    };
    EXPECT_EQ(choose([&](QFileDialog& dialog) {
                  retype(dialog);
                  QTest::keyClick(&nameField(dialog), Qt::Key_Return);
              }),
              path("OTHER.HEX"));
    EXPECT_EQ(choose([&](QFileDialog& dialog) {
                  retype(dialog);
                  QTest::mouseClick(&openButton(dialog), Qt::LeftButton);
              }),
              path("OTHER.HEX"));
}

TEST_F(OpenDialog, AClickedFileIsChosenByOpen)
{
    EXPECT_EQ(choose([](QFileDialog& dialog) {
                  type(dialog, "firmware.hex");
                  erase(dialog);
                  auto* list = dialog.findChild<QAbstractItemView*>("listView");
                  const QModelIndexList found = list->model()->match(list->model()->index(0, 0, list->rootIndex()),
                                                                     Qt::DisplayRole, "OTHER.HEX");
                  ASSERT_EQ(found.size(), 1);
                  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(found[0]).center());
                  EXPECT_TRUE(openButton(dialog).isEnabled());
                  QTest::mouseClick(&openButton(dialog), Qt::LeftButton);
              }),
              path("OTHER.HEX"));
}

TEST(DialogFilters, FilterTextBecomesQtNameFilters)
{
    const struct {
        std::string filter;
        QStringList nameFilters;
    } table[] = {
        {"INHEX32 Files (*.HEX)|*.HEX|All Files (*.*)|*.*", {"INHEX32 Files (*.HEX)", "All Files (*.*)"}},
        {"Firmware|*.hex;*.h86", {"Firmware (*.hex *.h86)"}},
        {"", {}},
        {"Lonely description", {}},
    };
    for (const auto& row : table)
        EXPECT_EQ(qtNameFilters(row.filter), row.nameFilters) << row.filter;
}

TEST(MessageBox, ModalTextAloneOneOkNoIconCaptionedTavrek)
{
    bool seen = false;
    whenShown<QMessageBox>([&seen](QMessageBox& box) {
        seen = true;
        EXPECT_EQ(box.windowTitle(), "Tavrek");
        EXPECT_EQ(box.text(), "Error opening port...");
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        EXPECT_TRUE(box.isModal());
        QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
    });
    showQtMessageBox(nullptr, "Error opening port...");
    EXPECT_TRUE(seen);
}

} // namespace
} // namespace tavrek::test

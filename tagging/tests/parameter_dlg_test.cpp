#include "parameter_dlg.h"
#include "parameter_grid.h"
#include "settings.h"

#include "recording_ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The store's INI text, to see that nothing was written.
QStringList storedKeys()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, CSettings::kOrganisation, CSettings::kApplication);
    return store.allKeys();
}

class ParameterDlg : public GuiTest {};

TEST_F(ParameterDlg, AnEmptyStoreShowsTheDefaults)
{
    CParameterDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("参数设置"));
    EXPECT_EQ(comboEntries(dlg.locationList()), (QStringList{"1 图书借阅室", "2 少儿图书借阅室", "3 其它"}));
    EXPECT_EQ(comboEntries(dlg.mediaTypeList()), (QStringList{"1 图书", "2 期刊", "3 光盘"}));
    // "2A" begins no entry: the first one.
    EXPECT_EQ(dlg.locationList()->currentIndex(), 0);
    EXPECT_EQ(dlg.mediaTypeList()->currentText(), QStringLiteral("1 图书"));
    EXPECT_FALSE(dlg.setLockBox()->isChecked());
    EXPECT_FALSE(dlg.verifyWriteBox()->isChecked());
    EXPECT_FALSE(dlg.referenceBox()->isChecked());
    EXPECT_EQ(dlg.libraryIdField()->text(), QString());
    EXPECT_EQ(dlg.workPathField()->text(), QString());
    EXPECT_EQ(dlg.scanSpeedField()->value(), 0);
    EXPECT_EQ(dlg.barcodeGrid()->rows(), 0);
    EXPECT_EQ(dlg.okButton()->text(), QStringLiteral("确定"));
    EXPECT_EQ(dlg.cancelButton()->text(), QStringLiteral("取消"));
    EXPECT_EQ(dlg.browseButton()->text(), QStringLiteral("浏览"));
}

TEST_F(ParameterDlg, HiddenControlsAreInvisibleAndDisabled)
{
    CParameterDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const struct {
        QWidget* control;
        bool shown;
    } controls[] = {
        {dlg.libraryIdField(), true}, {dlg.verifyWriteBox(), false}, {dlg.setLockBox(), true},
        {dlg.workPathField(), true},  {dlg.browseButton(), true},    {dlg.scanSpeedField(), false},
        {dlg.locationList(), true},   {dlg.mediaTypeList(), true},   {dlg.referenceBox(), false},
        {dlg.barcodeGrid(), true},    {dlg.okButton(), true},        {dlg.cancelButton(), true},
    };
    for (const auto& c : controls) {
        EXPECT_EQ(c.control->isVisible(), c.shown) << c.control->metaObject()->className();
        EXPECT_EQ(c.control->isEnabled(), c.shown) << c.control->metaObject()->className();
    }
}

TEST_F(ParameterDlg, OkRoundTripsEveryKeyUnchanged)
{
    const QString barPar = QStringLiteral("10:8:1:0::\n13:13:0:44120:4412000000000:4412009999999\n");
    {
        CSettings s;
        s.setBarPar(barPar);
        s.setScanSpeed(-7);   // hidden: any stored value survives
        s.setWorkPath(QStringLiteral("/srv/标签/logs"));
        s.setVerifyWrite(true);
        s.setSetLock(true);
        s.setLocation(QStringLiteral("3 其它"));
        s.setReference(true);
        s.setType(2);
        s.setLibraryId(QStringLiteral("044120"));
        s.setComPort(6);
        s.setPatronType(1);
        s.setPatronCardStatus(2);
    }
    CParameterDlg dlg;
    EXPECT_EQ(dlg.barcodeGrid()->rows(), 2);
    EXPECT_EQ(dlg.scanSpeedField()->value(), -7);
    EXPECT_EQ(dlg.workPathField()->text(), QStringLiteral("/srv/标签/logs"));
    EXPECT_TRUE(dlg.verifyWriteBox()->isChecked());
    EXPECT_TRUE(dlg.setLockBox()->isChecked());
    EXPECT_EQ(dlg.locationList()->currentIndex(), 2);
    EXPECT_TRUE(dlg.referenceBox()->isChecked());
    EXPECT_EQ(dlg.mediaTypeList()->currentIndex(), 2);
    EXPECT_EQ(dlg.libraryIdField()->text(), QStringLiteral("044120"));

    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const CSettings s;
    EXPECT_EQ(s.barPar(), barPar);
    EXPECT_EQ(s.scanSpeed(), -7);
    EXPECT_EQ(s.workPath(), QStringLiteral("/srv/标签/logs"));
    EXPECT_TRUE(s.verifyWrite());
    EXPECT_TRUE(s.setLock());
    EXPECT_EQ(s.location(), QStringLiteral("3 其它"));
    EXPECT_TRUE(s.reference());
    EXPECT_EQ(s.type(), 2);
    EXPECT_EQ(s.libraryId(), QStringLiteral("044120"));
    // Keys of the form and the patron card page are not the dialog's.
    EXPECT_EQ(s.comPort(), 6);
    EXPECT_EQ(s.patronType(), 1);
    EXPECT_EQ(s.patronCardStatus(), 2);
}

TEST_F(ParameterDlg, OkOnAnEmptyStoreWritesTheShownValues)
{
    CParameterDlg dlg;
    dlg.accept();
    QSettings store(QSettings::IniFormat, QSettings::UserScope, CSettings::kOrganisation, CSettings::kApplication);
    EXPECT_EQ(store.value("LastEnv/BarPar").toString(), QString());
    EXPECT_EQ(store.value("LastEnv/ScanSpeed").toInt(), 0);
    EXPECT_EQ(store.value("LastEnv/WorkPath").toString(), QString());
    EXPECT_EQ(store.value("LastEnv/VerifyWrite").toInt(), 0);
    EXPECT_EQ(store.value("LastEnv/SetLock").toInt(), 0);
    EXPECT_EQ(store.value("LastEnv/Location").toString(), QStringLiteral("1 图书借阅室"));
    EXPECT_EQ(store.value("LastEnv/Reference").toInt(), 0);
    EXPECT_EQ(store.value("LastEnv/Type").toInt(), 0);
    EXPECT_EQ(store.value("LastEnv/LibraryID").toString(), QString());
    EXPECT_FALSE(store.contains("LastEnv/Com Port"));
    EXPECT_FALSE(store.contains("Reader/Sorting"));
}

TEST_F(ParameterDlg, OkTakesWhatStaffEntered)
{
    CParameterDlg dlg;
    dlg.show();
    dlg.libraryIdField()->setText(QStringLiteral("12a"));   // no checks of its own
    dlg.setLockBox()->setChecked(true);
    dlg.workPathField()->setText(QStringLiteral("/tmp/work"));
    dlg.locationList()->setCurrentIndex(1);
    dlg.mediaTypeList()->setCurrentIndex(2);
    dlg.barcodeGrid()->insertRowTexts(0, {"10", "0", "8", "2 三九码", "", ""});
    dlg.barcodeGrid()->insertRowTexts(1, {"0", "", "8", "", "", ""});   // left out: TotalLen 0
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);

    const CSettings s;
    EXPECT_EQ(s.libraryId(), QStringLiteral("12a"));
    EXPECT_TRUE(s.setLock());
    EXPECT_EQ(s.workPath(), QStringLiteral("/tmp/work"));
    EXPECT_EQ(s.location(), QStringLiteral("2 少儿图书借阅室"));
    EXPECT_EQ(s.type(), 2);
    EXPECT_EQ(s.barPar(), QStringLiteral("10:8:2:0::\n"));
}

TEST_F(ParameterDlg, StoredLocationSelectsTheFirstEntryItBegins)
{
    const struct {
        QString stored;
        int index;
    } cases[] = {{"2A", 0}, {"2", 1}, {"3 其", 2}, {"1 图书借阅室", 0}, {"2 少儿图书借阅室", 1},
                 {"", 0},   {"4", 0}, {"3 其它 ", 0}};
    for (const auto& c : cases) {
        CSettings().setLocation(c.stored);
        CParameterDlg dlg;
        EXPECT_EQ(dlg.locationList()->currentIndex(), c.index) << c.stored.toStdString();
    }
}

TEST_F(ParameterDlg, NegativeMediaTypeSelectsTheFirstEntry)
{
    CSettings().setType(-1);
    CParameterDlg dlg;
    EXPECT_EQ(dlg.mediaTypeList()->currentIndex(), 0);
}

TEST_F(ParameterDlg, CancelWritesNothing)
{
    CParameterDlg dlg;
    dlg.show();
    dlg.libraryIdField()->setText(QStringLiteral("044120"));
    dlg.setLockBox()->setChecked(true);
    dlg.barcodeGrid()->insertRowTexts(0, {"10", "0", "8", "", "", ""});
    QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(storedKeys().isEmpty());
}

TEST_F(ParameterDlg, AChosenFolderShowsTheHeldValuesAgain)
{
    CSettings().setWorkPath(QStringLiteral("/old"));
    CParameterDlg dlg;
    dlg.show();
    // Unsaved changes.
    dlg.setLockBox()->setChecked(true);
    dlg.workPathField()->setText(QStringLiteral("/typed"));
    dlg.libraryIdField()->setText(QStringLiteral("044120"));
    dlg.locationList()->setCurrentIndex(2);

    ui.folderAnswers = {QStringLiteral("/home/staff/日志")};
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    EXPECT_EQ(ui.folderTitles, QStringList{"Select a Starting Directory"});
    EXPECT_EQ(ui.folderStarts, QStringList{"/typed"});   // the work directory shown, not the program's folder
    EXPECT_EQ(dlg.workPathField()->text(), QStringLiteral("/home/staff/日志"));
    EXPECT_FALSE(dlg.setLockBox()->isChecked());   // as when the dialog opened
    EXPECT_EQ(dlg.libraryIdField()->text(), QStringLiteral("044120"));
    EXPECT_EQ(dlg.locationList()->currentIndex(), 2);

    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(CSettings().workPath(), QStringLiteral("/home/staff/日志"));
    EXPECT_FALSE(CSettings().setLock());
}

TEST_F(ParameterDlg, NoFolderChosenChangesNothing)
{
    CParameterDlg dlg;
    dlg.show();
    dlg.setLockBox()->setChecked(true);
    dlg.workPathField()->setText(QStringLiteral("/typed"));
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);   // chooser cancelled
    EXPECT_EQ(ui.folderTitles.size(), 1);
    EXPECT_TRUE(dlg.setLockBox()->isChecked());
    EXPECT_EQ(dlg.workPathField()->text(), QStringLiteral("/typed"));
}

TEST_F(ParameterDlg, OpenSettingsReportsWhetherItClosedWithOk)
{
    for (const bool ok : {true, false}) {
        QTimer::singleShot(0, [ok] {
            auto* dlg = qobject_cast<CParameterDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            dlg->libraryIdField()->setText(QStringLiteral("7"));
            QTest::mouseClick(ok ? dlg->okButton() : dlg->cancelButton(), Qt::LeftButton);
        });
        CSettings().setLibraryId(QStringLiteral("1"));
        EXPECT_EQ(CParameterDlg::openSettings(nullptr), ok);
        EXPECT_EQ(CSettings().libraryId(), ok ? QStringLiteral("7") : QStringLiteral("1"));
    }
}

} // namespace

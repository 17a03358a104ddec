#include "settings.h"

#include "recording_ui.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class Settings : public GuiTest {};

TEST_F(Settings, AnEmptyStoreGivesTheDefaults)
{
    const CSettings s;
    EXPECT_EQ(s.barPar(), QString());
    EXPECT_EQ(s.scanSpeed(), 0);
    EXPECT_EQ(s.workPath(), QString());
    EXPECT_FALSE(s.verifyWrite());
    EXPECT_FALSE(s.setLock());
    EXPECT_EQ(s.location(), QStringLiteral("2A"));
    EXPECT_FALSE(s.reference());
    EXPECT_EQ(s.type(), 0);
    EXPECT_EQ(s.libraryId(), QString());
    EXPECT_EQ(s.comPort(), 2);
    EXPECT_EQ(s.patronType(), 0);
    EXPECT_EQ(s.patronCardStatus(), 0);
    EXPECT_EQ(s.sorting(), 80);
}

TEST_F(Settings, ValuesRoundTripThroughTheUsersIniFile)
{
    {
        CSettings s;
        s.setBarPar(QStringLiteral("10:8:1:0::\n13:5:0: a,b;c=d ::\"q\"\n"));
        s.setScanSpeed(35);
        s.setWorkPath(QStringLiteral("/home/staff/标签"));
        s.setVerifyWrite(true);
        s.setSetLock(true);
        s.setLocation(QStringLiteral("3 其它"));
        s.setReference(true);
        s.setType(2);
        s.setLibraryId(QStringLiteral("044120"));
        s.setComPort(8);
        s.setPatronType(1);
        s.setPatronCardStatus(3);
        s.setInteger(CSettings::kReader, QStringLiteral("Sorting"), 120);
    }
    const CSettings s;
    EXPECT_EQ(s.barPar(), QStringLiteral("10:8:1:0::\n13:5:0: a,b;c=d ::\"q\"\n"));
    EXPECT_EQ(s.scanSpeed(), 35);
    EXPECT_EQ(s.workPath(), QStringLiteral("/home/staff/标签"));
    EXPECT_TRUE(s.verifyWrite());
    EXPECT_TRUE(s.setLock());
    EXPECT_EQ(s.location(), QStringLiteral("3 其它"));
    EXPECT_TRUE(s.reference());
    EXPECT_EQ(s.type(), 2);
    EXPECT_EQ(s.libraryId(), QStringLiteral("044120"));
    EXPECT_EQ(s.comPort(), 8);
    EXPECT_EQ(s.patronType(), 1);
    EXPECT_EQ(s.patronCardStatus(), 3);
    EXPECT_EQ(s.sorting(), 120);

    // One INI file per user, named by organisation and program, with the sections.
    QSettings store(QSettings::IniFormat, QSettings::UserScope, CSettings::kOrganisation, CSettings::kApplication);
    store.sync();
    EXPECT_EQ(QFileInfo(store.fileName()).fileName(), QStringLiteral("Tagging.ini"));
    EXPECT_EQ(QFileInfo(store.fileName()).dir().dirName(), CSettings::kOrganisation);
    QFile file(store.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    EXPECT_TRUE(ini.contains("[LastEnv]"));
    EXPECT_TRUE(ini.contains("[Reader]"));
}

TEST_F(Settings, NegativeListIndexesReadAsTheFirstEntry)
{
    CSettings s;
    s.setType(-1);
    s.setPatronType(-3);
    s.setPatronCardStatus(-1);
    EXPECT_EQ(s.type(), 0);
    EXPECT_EQ(s.patronType(), 0);
    EXPECT_EQ(s.patronCardStatus(), 0);
    EXPECT_EQ(s.integer(CSettings::kLastEnv, QStringLiteral("Type")), -1);   // stored as written
}

} // namespace

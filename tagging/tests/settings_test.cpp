#include "settings.h"

#include "core_test.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class Settings : public CoreTest {};

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
        s.setPatronCardStatus(2);
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
    EXPECT_EQ(s.patronCardStatus(), 2);
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

// A store edited by hand: an index past the end of its list reads like a
// negative one, a port outside COM1-COM9 as COM3, a sorting depth below 1 as 80.
TEST_F(Settings, ValuesOutOfTheirRangeReadAsTheDefaults)
{
    const struct {
        const char* section;
        const char* key;
        int stored;
        int (CSettings::*read)() const;
        int reads;
    } cases[] = {
        {"LastEnv", "Type", 7, &CSettings::type, 0},
        {"LastEnv", "Type", 3, &CSettings::type, 0},
        {"LastEnv", "Type", 2, &CSettings::type, 2},
        {"LastEnv", "PatronType", 9, &CSettings::patronType, 0},
        {"LastEnv", "PatronCardStatus", 8, &CSettings::patronCardStatus, 0},
        {"LastEnv", "Com Port", 99, &CSettings::comPort, 2},
        {"LastEnv", "Com Port", 9, &CSettings::comPort, 2},
        {"LastEnv", "Com Port", -1, &CSettings::comPort, 2},
        {"LastEnv", "Com Port", 8, &CSettings::comPort, 8},
        {"Reader", "Sorting", -7, &CSettings::sorting, 80},
        {"Reader", "Sorting", 0, &CSettings::sorting, 80},
        {"Reader", "Sorting", 1, &CSettings::sorting, 1},
    };
    for (const auto& c : cases) {
        CSettings s;
        s.setInteger(QString::fromLatin1(c.section), QString::fromLatin1(c.key), c.stored);
        EXPECT_EQ((s.*c.read)(), c.reads) << c.key << "=" << c.stored;
    }
}

} // namespace

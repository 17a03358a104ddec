// Base of the program's end-to-end tests: the form through the real
// libraries against a simulated reader served as COM3 (the stored port of an
// empty settings store) of a private port folder, with the platform loop
// driven from Qt's so that continuous reading ticks; a work directory and a
// library identifier in the settings store; what a test looks at of a tag.
// Only for test programs that link the simulator (readersim_core).
#pragma once

#include "barcode_edit.h"
#include "loop_bridge.h"
#include "recording_ui.h"
#include "settings.h"
#include "tagging_view.h"
#include "tagging_write_page.h"

#include <brenholt.h>
#include <sim/tag_file.h>
#include <sim/testing.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <ostream>
#include <string>

inline constexpr int kSimTimeoutMs = 10000;

struct FamilyCase {
    const char* sim;
    int number;          // BRN_FAMILY_*
    bool locksBlock0;    // TALU readers never lock block 0
};

inline void PrintTo(const FamilyCase& f, std::ostream* os)
{
    *os << f.sim;
}

// The first-make families.
inline const FamilyCase kFamilies[] = {
    {"feno", BRN_FAMILY_FENO, true},
    {"orba", BRN_FAMILY_ORBA, true},
    {"talu", BRN_FAMILY_TALU, false},
};

inline const char kBlankUid[] = "E004010000000001";

// Tags of other libraries (sim/examples/library_standard_tags.txt): ISO
// 28560-3, item 1000000136 of DK-718500; ISO 28560-2, item 1620168259 of
// FI-Mamk-M.
inline const char kIso28560_3Uid[] = "E004010028560003";
inline const std::string kIso28560_3Line =
    std::string(kIso28560_3Uid)
    + " afi=07 dsfid=3E eas=1 mem=110101313030303030303133360000000000003615444b373138353030000000"
      "0000050100050122020071426f67766f676e656e00313233343536373839300000613738393635366300";
inline const std::string kIso28560_2Line =
    "E004010028560002 afi=07 dsfid=06 eas=1 mem=9101046091ce43800201a80501106702424103073240de05ab075b00";

// What a test looks at of a tag: AFI, EAS, blocks 0 to 7 and their locks.
struct TagImage {
    std::uint8_t afi = 0;
    bool eas = false;
    std::array<std::uint32_t, 8> blocks{};
    std::array<bool, 8> locked{};
    bool operator==(const TagImage&) const = default;
};

inline void PrintTo(const TagImage& t, std::ostream* os)
{
    *os << "AFI " << std::hex << int(t.afi) << (t.eas ? " EAS on" : " EAS off");
    for (int i = 0; i < 8; ++i)
        *os << " " << t.blocks[i] << (t.locked[i] ? "L" : "");
}

class SimulatedReaderTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        ASSERT_TRUE(work.isValid());
        CSettings settings;
        settings.setWorkPath(work.path());
        settings.setLibraryId(QStringLiteral("123456"));
    }

    // A reader of the family as COM3.
    void serve(const FamilyCase& family)
    {
        m_family = family;
        std::string error;
        served = sim::serveReader(family.sim, ports.portPath(3), 0, {}, &error);
        ASSERT_TRUE(served) << error;
    }

    // The form, connected, its pages' work logs on a fixed clock.
    void start()
    {
        view = std::make_unique<CTaggingView>();
        view->resize(1024, 768);
        view->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->connection().isConnected(); }, kSimTimeoutMs))
            << messages().toStdString();
        ASSERT_EQ(view->connection().family(), m_family.number);
        for (CTaggingPage* page : view->pages())
            if (auto* writing = qobject_cast<CTaggingWritePage*>(page))
                writing->workLogs().setClock([] { return QDateTime(QDate(2026, 12, 6), QTime(14, 30, 5)); });
    }

    sim::Reader& reader() { return *served.reader; }

    // Lays a tag on the reader (a line of the tag file syntax).
    void place(const std::string& line)
    {
        std::string error;
        auto tag = sim::parseTagLine(line, &error);
        ASSERT_TRUE(tag) << error;
        ASSERT_TRUE(reader().place(*tag));
    }
    void placeBlank(const char* uid = kBlankUid) { place(std::string(uid) + " eas=0"); }
    void remove(const char* uid) { ASSERT_TRUE(reader().remove(*sim::uidFromText(uid))); }

    // Types a number into a page's barcode field and presses Enter, as a
    // scanner does: into whatever the field holds.
    static void scan(CTaggingWritePage* page, const QString& number)
    {
        QTest::keyClicks(page->barcodeField(), number);
        QTest::keyClick(page->barcodeField(), Qt::Key_Return);
    }

    // The tag's memory, on the antenna or on the shelf.
    TagImage image(const char* uidText = kBlankUid)
    {
        const sim::Uid uid = *sim::uidFromText(uidText);
        std::optional<sim::Tag> tag = reader().tag(uid);
        for (const sim::Tag& t : reader().shelf())
            if (!tag && t.uid() == uid)
                tag = t;
        TagImage result;
        if (!tag) {
            ADD_FAILURE() << "no tag " << uidText;
            return result;
        }
        result.afi = tag->afi();
        result.eas = tag->eas();
        for (int i = 0; i < 8; ++i) {
            result.blocks[i] = tag->block(i);
            result.locked[i] = tag->blockLocked(i);
        }
        return result;
    }

    QByteArray itemLog() const
    {
        QFile f(QDir(work.path()).filePath("20261206.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString messages() const
    {
        QStringList texts;
        for (const RecordedMessage& m : ui.messages)
            texts << m.caption + ": " + m.text;
        return texts.join(" / ");
    }

    CLoopBridge bridge;   // continuous reading ticks inside Qt's loop
    QTemporaryDir work;
    sim::PortFolder ports;
    sim::ServedReader served;
    std::unique_ptr<CTaggingView> view;   // goes before the reader

private:
    FamilyCase m_family{};
};

// The same for each first-make family.
class OnEachFamily : public SimulatedReaderTest, public ::testing::WithParamInterface<FamilyCase> {
protected:
    void SetUp() override
    {
        SimulatedReaderTest::SetUp();
        serve(GetParam());
    }
};

// The tag check page "  标签检查  ": staff check programmed tags in passing.
// Once started, the reader reads continuously and every tag that comes into
// its field becomes the new top row of a grid: type, EAS state, number,
// library and, for books, reference flag, holding location and media type;
// values of locked blocks are shown in brackets. The counter shows how many
// tags were reported since the start; the grid keeps the newest 101.
//
// What is read follows the options: "仅读主标识数据" (on at opening) reads the
// number and library only, without it block 2 (a book's holdings) as well;
// "检查EAS" adds the EAS state, "检查加锁状态" the block lock status. A tag
// without a number (an empty tag) sounds the information beep.
//
// Beside the items, reading hands the page each tag's memory (the tag memory
// callback), by which a tag of another library shows as what it is: its
// model ("ISO 28560-3", "ISO 28560-2") in the type column, its primary item
// identifier in the number column and its owner's ISIL in the library
// column (the EAS state as for any tag; never in brackets).
//
// Start disables itself and enables Stop, Stop the other way round, also
// when the library refused; when the page leaves the front of the sheet or
// the reader is disconnected, reading ends and the buttons stay as they are.
// When the reader's line goes, reading ends and Start comes back.
#pragma once

#include "standard_tag.h"
#include "tagging_page.h"

#include <optional>

class CDataGrid;
class QCheckBox;
class QLabel;
class QPushButton;

class CCheckTagPage : public CTaggingPage {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("  标签检查  ");
    static constexpr int kMaxRows = 101;
    // The request masks of the options (BRN_ITEM_* bits).
    static constexpr std::uint32_t kMainDataMask = 0x14;   // number, library
    static constexpr std::uint32_t kAllDataMask = 0x1C;    // and block 2

    explicit CCheckTagPage(QWidget* parent = nullptr);

    QCheckBox* mainDataOnlyBox() const { return m_mainDataOnly; }
    QCheckBox* checkEasBox() const { return m_checkEas; }
    QCheckBox* checkLocksBox() const { return m_checkLocks; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }
    QLabel* counterLabel() const { return m_counter; }
    CDataGrid* grid() const { return m_grid; }
    int reportedCount() const { return m_reported; }

    // "开始检查": (re)starts reading with the options' mask on an empty grid.
    void start();
    // "停止": stops reading.
    void stop();
    // The request mask the options ask for.
    std::uint32_t requestMask() const;

    // The grid row of an item (cells left empty where nothing was read).
    static QStringList checkRow(const brnItem& item);
    // The grid row of another library's tag, read as item.
    static QStringList standardRow(const brnItem& item, const StandardTag& tag);

protected:
    void tagRead(const brnItem& item, const StandardTag* standard) override;
    // Start comes back, as after Stop.
    void readingEnded() override { setButtons(false); }

private:
    void setButtons(bool reading);
    // The column widths are the least each column gets: a value wider than
    // its column widens it, so that no number is cut short.
    void widenColumnsFor(const QStringList& cells);

    QCheckBox* m_mainDataOnly;
    QCheckBox* m_checkEas;
    QCheckBox* m_checkLocks;
    QPushButton* m_start;
    QPushButton* m_stop;
    QLabel* m_counter;
    CDataGrid* m_grid;
    int m_reported = 0;
};

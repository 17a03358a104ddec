// What the three tagging pages (book tags, patron cards, shelf tags) share:
// staff lay a tag on the reader, scan a number into the barcode field, and
// on Enter the page writes one item to the tag (another library's tag only
// when staff confirm it: standard_tag.h), optionally reads its number back to
// compare, lists it, counts it and logs it. The page also lists what
// continuous reading finds, opens the settings dialog and shows the workload
// file.
//
// A page supplies the item it writes (buildItem), the row it shows for an
// item (tagRow) with its tag-row columns, the request mask of its reading,
// and its differences in a few hooks (log digits, list clearing, settings
// taken after the dialog, settings stored at close). It lays out the shared
// controls below together with its own.
//
// Work period: from the page's creation to its close. The written count, the
// work start and the last barcode belong to it; the work logs are opened at
// the first write attempt and closed at close, after the workload line.
#pragma once

#include "tagging_page.h"
#include "tag_list.h"
#include "work_logs.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <initializer_list>

class CBarcodeEdit;
class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

class CTaggingWritePage : public CTaggingPage {
    Q_OBJECT
public:
    static inline const QString kVerifyCaption = QStringLiteral("VerifyWrite()");
    static inline const QString kVerifyMismatch = QStringLiteral("校验标签：数据不匹配！");
    // A barcode text that is no number a tag can hold (%1: the text).
    static inline const QString kNotANumber =
        QStringLiteral("“%1”不能作为编号写入标签：编号只能由数字组成，不能为 0，也不能大于 144115188075855871。\n"
                       "标签没有写入。请扫描正确的条码。");
    // Pages that clear their list do so before every written row whose count
    // is a multiple of this (the 1st, 101st, ...).
    static constexpr int kRowsPerList = 100;
    // The verification reads the identifier only, retrying 10 ms apart.
    static constexpr std::uint32_t kVerifyRetryMs = 10;
    static constexpr std::uint32_t kVerifyMask = 0x04;

    CTaggingWritePage(const QString& caption, CTagList::Columns tagColumns, QWidget* parent = nullptr);

    // The shared controls: "图书馆标识" (read-only), the barcode field, "锁定标签"
    // (disabled), the counter, "设  置", "读标签数据", "查统计日志", the list.
    QLineEdit* libraryIdField() const { return m_libraryId; }
    CBarcodeEdit* barcodeField() const { return m_barcode; }
    QCheckBox* lockBox() const { return m_lock; }
    QLabel* counterLabel() const { return m_counter; }
    QPushButton* settingsButton() const { return m_settingsButton; }
    QPushButton* readButton() const { return m_readButton; }
    QPushButton* statisticsButton() const { return m_statisticsButton; }
    CTagList* tagList() const { return m_list; }

    int writtenCount() const { return m_written; }
    int readCount() const { return m_read; }
    const QString& workStart() const { return m_workStart; }
    const QString& lastBarcode() const { return m_lastBarcode; }
    bool verify() const { return m_verify; }
    CWorkLogs& workLogs() { return m_logs; }

    // Enter from the barcode field: write the barcode's item to the tag.
    // Whatever stops the write leaves the field's text selected, so that the
    // next scan replaces it and Enter alone tries the same barcode again.
    void write();
    // "读标签数据": list the tags continuous reading finds.
    void readTagData();
    // "设  置": the settings dialog. An OK there, or in the dialog of any
    // other page, makes every page take the new settings (takeSettings).
    void openSettings();
    // After an OK in the settings dialog: the barcode structures, verify and
    // what the page shows of the settings (settingsAccepted).
    void takeSettings();
    // "查统计日志": the workload file in the list.
    void showStatistics();
    // The barcode field takes the focus when the page comes to the front.
    void activated() override;
    // Settings stored, workload line appended, reading stopped, logs closed.
    void closing() override;

protected:
    // The item for an accepted barcode text; item comes cleared.
    virtual void buildItem(const QString& text, brnItem& item) const = 0;
    // The cells of a tag row for an item written or read.
    virtual QStringList tagRow(const brnItem& item) const = 0;
    // The item request mask of continuous reading.
    virtual std::uint32_t readRequestMask() const = 0;
    // Digits of the identifier in the item log.
    virtual int logDigits() const { return 11; }
    // Whether the list is cleared every kRowsPerList written rows.
    virtual bool clearsListByCount() const { return true; }
    // After the settings dialog closed with OK (the barcode structures and
    // verify are taken already).
    virtual void settingsAccepted() {}
    // At close, before the workload line: the settings the page keeps.
    virtual void storeSettings() {}
    // A row for an item at the top of the list (rows of writes and of reading).
    virtual void addTagRow(const QStringList& row);

    void tagRead(const brnItem& item, const StandardTag* standard) override;
    void setCounter(int value);
    // Lays the page out: its own fields on top, then the buttons ("设  置",
    // "读标签数据", "查统计日志" and the page's own) with the counter at the
    // right end, the list below.
    void layOutPage(QLayout* fields, std::initializer_list<QPushButton*> ownButtons = {});
    // The library identifier field from LibraryID, the lock box from SetLock
    // (at opening; pages that take them again after the settings dialog).
    void loadLibraryAndLock();
    // What every page's item holds: block size, type, the number of the
    // accepted barcode text (blocks 0 and 1) and the library identifier of
    // the field.
    void setIdentity(brnItem& item, std::int32_t itemType, const QString& text) const;

private:
    // A lost log line: the program message kLineLost, once per work period.
    void tellLineLost();
    // The write of an accepted barcode text, up to the accepted tag.
    void writeBarcode(const QString& text);
    enum class Verification { Passed, Mismatch, ReaderGone };
    Verification verifyWritten(const brnItem& written);
    // The written tag listed, counted and logged.
    void accept(const brnItem& item, const QString& text);

    CTagList* m_list;
    QLineEdit* m_libraryId;
    CBarcodeEdit* m_barcode;
    QCheckBox* m_lock;
    QLabel* m_counter;
    QPushButton* m_settingsButton;
    QPushButton* m_readButton;
    QPushButton* m_statisticsButton;

    CWorkLogs m_logs;
    int m_written = 0;
    int m_read = 0;
    QString m_workStart;
    QString m_lastBarcode;
    bool m_verify = false;
};

// The patron card page "  读者证加工  ": staff choose the card status and the
// patron type, set the registration and expiry dates, lay the card on the
// reader and scan its number; on Enter the page writes a patron card (AFI
// 0x92) with the library identifier, the number, the type, the status and
// both dates, the card's anti-theft bit switched off, optionally the locks
// of the number and library blocks, and lists, counts and logs it
// (CTaggingWritePage).
//
// The counter shows, after every row added, the tags read so far plus one;
// a write then sets it to the cards written. So while reading it counts the
// tags reported, after a write the cards written.
#pragma once

#include "tagging_write_page.h"

class QComboBox;
class QDate;
class QDateEdit;

class CTaggingCardPage : public CTaggingWritePage {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("  读者证加工  ");
    // Continuous reading: EAS, number, block 2 (type, status, registration),
    // library, block 4 (valid until); no lock status.
    static constexpr std::uint32_t kReadMask = 0x3D;
    // A new card is valid for this many days from the page's creation.
    static constexpr int kValidDays = 365;

    explicit CTaggingCardPage(QWidget* parent = nullptr);

    QComboBox* cardStatusList() const { return m_cardStatus; }
    QComboBox* patronTypeList() const { return m_patronType; }
    QDateEdit* registerDateEdit() const { return m_registerDate; }
    QDateEdit* validDateEdit() const { return m_validDate; }

    // The row of an item: type, EAS, number (11 digits for a book, 13 for a
    // patron card), library and, for a patron card, its type, status,
    // registration date and valid-until date (day/month/year).
    static QStringList cardRow(const brnItem& item);

protected:
    void buildItem(const QString& text, brnItem& item) const override;
    QStringList tagRow(const brnItem& item) const override { return cardRow(item); }
    std::uint32_t readRequestMask() const override { return kReadMask; }
    void addTagRow(const QStringList& row) override;
    void settingsAccepted() override;
    void storeSettings() override;

private:
    void layOut();

    QComboBox* m_cardStatus;
    QComboBox* m_patronType;
    QDateEdit* m_registerDate;
    QDateEdit* m_validDate;
};

// The shelf tag page "层架标加工": staff lay a shelf's tag on the reader and
// scan the shelf's barcode; on Enter the page writes a shelf tag (AFI 0x93)
// holding only the number and the library identifier, with the anti-theft
// bit set when "标签带EAS" is ticked and left as it was otherwise, never
// locked, and lists, counts and logs it (CTaggingWritePage).
//
// Unlike the other tagging pages, the list keeps every shelf tag written
// (it is not started over every hundred), numbers are shown and logged with
// 10 digits, and the library identifier is the one of the page's opening:
// a change in the settings dialog takes effect at the next start.
#pragma once

#include "tagging_write_page.h"

class CTaggingShelfPage : public CTaggingWritePage {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("层架标加工");
    // Continuous reading: EAS, number, library.
    static constexpr std::uint32_t kReadMask = 0x15;
    static constexpr int kDigits = 10;

    explicit CTaggingShelfPage(QWidget* parent = nullptr);

    // "标签带EAS": set the tag's anti-theft bit.
    QCheckBox* easBox() const { return m_eas; }

    // The row of an item: type (shelf tags included), EAS, number with 10
    // digits, library.
    static QStringList shelfRow(const brnItem& item);

protected:
    void buildItem(const QString& text, brnItem& item) const override;
    QStringList tagRow(const brnItem& item) const override { return shelfRow(item); }
    std::uint32_t readRequestMask() const override { return kReadMask; }
    int logDigits() const override { return kDigits; }
    bool clearsListByCount() const override { return false; }

private:
    QCheckBox* m_eas;
};

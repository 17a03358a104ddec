// The book tagging page "  图书标签加工  ": staff lay a book's tag on the
// reader and scan the book's barcode; on Enter the page writes the book
// (library identifier, barcode number, holding location, media type,
// reference flag, EAS on, optionally the locks of the number and library
// blocks), lists, counts and logs it (CTaggingWritePage). The holding
// location and media type come from the settings and are shown in disabled
// lists; "改写标签" opens the rewrite dialog for tags already programmed.
#pragma once

#include "tagging_write_page.h"

class QComboBox;

class CTaggingBookPage : public CTaggingWritePage {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("  图书标签加工  ");
    // Continuous reading asks for everything: EAS, lock status, all blocks.
    static constexpr std::uint32_t kReadMask = 127;

    explicit CTaggingBookPage(QWidget* parent = nullptr);

    QComboBox* locationList() const { return m_location; }
    QComboBox* mediaTypeList() const { return m_mediaType; }
    QCheckBox* referenceBox() const { return m_reference; }
    QCheckBox* easBox() const { return m_eas; }
    QPushButton* rewriteButton() const { return m_rewriteButton; }

    // "改写标签": reading stops, the rewrite dialog comes up for this reader.
    void rewrite();

    // The row of an item: type, EAS, number, library and, for a book, the
    // reference flag, holding location and media type.
    static QStringList bookRow(const brnItem& item);

protected:
    void buildItem(const QString& text, brnItem& item) const override;
    QStringList tagRow(const brnItem& item) const override { return bookRow(item); }
    std::uint32_t readRequestMask() const override { return kReadMask; }
    void settingsAccepted() override;
    void storeSettings() override;

private:
    // Holding location, reference box and media type from the settings.
    void loadHoldings();
    void layOut();

    QComboBox* m_location;
    QComboBox* m_mediaType;
    QCheckBox* m_reference;
    QCheckBox* m_eas;
    QPushButton* m_rewriteButton;
};

#include "tagging_card_page.h"

#include "barcode_edit.h"
#include "holdings.h"
#include "settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

const CTagList::Columns kCardColumns{
    {QStringLiteral("类型"), 80},     {QStringLiteral("EAS"), 40},      {QStringLiteral("证号"), 120},
    {QStringLiteral("馆标识"), 120},  {QStringLiteral("读者类型"), 80}, {QStringLiteral("证状态"), 80},
    {QStringLiteral("登记日期"), 120}, {QStringLiteral("有效日期"), 120},
};

// A card keeps a year as ten bits counted from 1970: the pickers offer no
// year the card cannot hold.
const QDate kFirstCardDate(1970, 1, 1);
const QDate kLastCardDate(1970 + 1023, 12, 31);

QDateEdit* datePicker(const QDate& date, QWidget* parent)
{
    auto* picker = new QDateEdit(date, parent);
    picker->setDateRange(kFirstCardDate, kLastCardDate);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

QString dateText(std::uint32_t day, std::uint32_t month, std::uint32_t year)
{
    return QStringLiteral("%1/%2/%3").arg(day).arg(month).arg(year);
}

} // namespace

CTaggingCardPage::CTaggingCardPage(QWidget* parent)
    : CTaggingWritePage(kCaption, kCardColumns, parent),
      m_cardStatus(new QComboBox(this)),
      m_patronType(new QComboBox(this)),
      m_registerDate(datePicker(QDate::currentDate(), this)),
      m_validDate(datePicker(QDateTime::currentDateTime().addDays(kValidDays).date(), this))
{
    m_cardStatus->addItems(kCardStatuses);
    m_patronType->addItems(kPatronTypes);
    const CSettings settings;
    m_patronType->setCurrentIndex(settings.patronType());
    m_cardStatus->setCurrentIndex(settings.patronCardStatus());
    layOut();
}

void CTaggingCardPage::layOut()
{
    auto* fields = new QGridLayout;
    fields->addWidget(fieldLabel(QStringLiteral("图书馆标识"), libraryIdField()), 0, 0);
    fields->addWidget(libraryIdField(), 0, 1);
    fields->addWidget(fieldLabel(QStringLiteral("读者证状态"), m_cardStatus), 0, 2);
    fields->addWidget(m_cardStatus, 0, 3);
    fields->addWidget(fieldLabel(QStringLiteral("读者类型"), m_patronType), 0, 4);
    fields->addWidget(m_patronType, 0, 5);
    fields->addWidget(fieldLabel(QStringLiteral("登记日期"), m_registerDate), 1, 2);
    fields->addWidget(m_registerDate, 1, 3);
    fields->addWidget(fieldLabel(QStringLiteral("有效日期"), m_validDate), 1, 4);
    fields->addWidget(m_validDate, 1, 5);
    fields->addWidget(fieldLabel(QStringLiteral("读者证号"), barcodeField()), 2, 0);
    fields->addWidget(barcodeField(), 2, 1, 1, 3);
    fields->addWidget(lockBox(), 2, 5);
    fields->setColumnStretch(1, 2);
    fields->setColumnStretch(3, 1);
    fields->setColumnStretch(5, 1);
    layOutPage(fields);
}

void CTaggingCardPage::buildItem(const QString& text, brnItem& item) const
{
    setIdentity(item, BRN_ITEM_TYPE_PATRON_CARD, text);
    if (lockBox()->isChecked()) {
        item.validMask |= BRN_ITEM_LOCKS;
        item.lockMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    }
    // Cards leave the library with their holders: no anti-theft bit.
    item.validMask |= BRN_ITEM_EAS;
    item.easState = 0;

    item.validMask |= BRN_ITEM_BLOCK2;
    const QDate registered = m_registerDate->date();
    item.patron.registerDay = static_cast<std::uint32_t>(registered.day());
    item.patron.registerMonth = static_cast<std::uint32_t>(registered.month());
    item.patron.registerYear = static_cast<std::uint32_t>(registered.year());
    item.patron.patronType = unsignedFromText(m_patronType->currentText());
    item.patron.cardStatus = unsignedFromText(m_cardStatus->currentText());

    // The dates are taken as chosen, even a valid-until date before the registration.
    item.validMask |= BRN_ITEM_BLOCK4;
    const QDate validUntil = m_validDate->date();
    item.patron.validDay = static_cast<std::uint32_t>(validUntil.day());
    item.patron.validMonth = static_cast<std::uint32_t>(validUntil.month());
    item.patron.validYear = static_cast<std::uint32_t>(validUntil.year());
    item.patron.patronAux = 0;
    item.validMask |= BRN_ITEM_EXTRA;
}

QStringList CTaggingCardPage::cardRow(const brnItem& item)
{
    // A tag of another kind (a shelf tag) shows its number as the other
    // pages show numbers not of their own kind: 11 digits.
    const int digits = item.itemType == BRN_ITEM_TYPE_PATRON_CARD ? 13 : 11;
    QStringList row{typeCell(item, false), easCell(item), numberCell(item, digits), libraryCell(item)};
    if (item.itemType != BRN_ITEM_TYPE_PATRON_CARD)
        return row;
    const brnPatronSlots& card = item.patron;
    if (item.validMask & BRN_ITEM_BLOCK2) {
        row << bracketed(item, BRN_ITEM_BLOCK2, QString::number(card.patronType))
            << bracketed(item, BRN_ITEM_BLOCK2, QString::number(card.cardStatus))
            << bracketed(item, BRN_ITEM_BLOCK2, dateText(card.registerDay, card.registerMonth, card.registerYear));
    } else {
        row << unreadBlock2Cells(item);
    }
    row << bracketed(item, BRN_ITEM_BLOCK4,
                     (item.validMask & BRN_ITEM_BLOCK4) ? dateText(card.validDay, card.validMonth, card.validYear)
                                                        : QStringLiteral("---------"));
    return row;
}

void CTaggingCardPage::addTagRow(const QStringList& row)
{
    setCounter(readCount() + 1);
    CTaggingWritePage::addTagRow(row);
}

void CTaggingCardPage::settingsAccepted()
{
    loadLibraryAndLock();
}

void CTaggingCardPage::storeSettings()
{
    CSettings settings;
    settings.setPatronType(m_patronType->currentIndex());
    settings.setPatronCardStatus(m_cardStatus->currentIndex());
}

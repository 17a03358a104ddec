#include "parameter_dlg.h"

#include "holdings.h"
#include "parameter_grid.h"
#include "settings.h"
#include "ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

namespace {

// A control that keeps its stored value without being offered to staff.
void conceal(QWidget* control)
{
    control->setVisible(false);
    control->setEnabled(false);
}

} // namespace

CParameterDlg::CParameterDlg(QWidget* parent)
    : QDialog(parent),
      m_libraryId(new QLineEdit(this)),
      m_verifyWrite(new QCheckBox(QStringLiteral("校验写"), this)),
      m_setLock(new QCheckBox(QStringLiteral("是否锁定标签"), this)),
      m_workPath(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("浏览"), this)),
      m_scanSpeed(new QSpinBox(this)),
      m_location(new QComboBox(this)),
      m_mediaType(new QComboBox(this)),
      m_reference(new QCheckBox(QStringLiteral("是否参考文献（非外借文献）"), this)),
      m_grid(new CParameterGrid(this)),
      m_ok(new QPushButton(QStringLiteral("确定"), this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this))
{
    setWindowTitle(kTitle);
    m_scanSpeed->setRange(INT_MIN, INT_MAX);   // any stored value survives OK

    auto* fields = new QGridLayout;
    int row = 0;
    fields->addWidget(new QLabel(QStringLiteral("图书馆标识"), this), row, 0);
    fields->addWidget(m_libraryId, row++, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("馆藏地点"), this), row, 0);
    fields->addWidget(m_location, row++, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("文献类型"), this), row, 0);
    fields->addWidget(m_mediaType, row++, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("工作目录"), this), row, 0);
    fields->addWidget(m_workPath, row, 1);
    fields->addWidget(m_browse, row++, 2);
    fields->addWidget(m_setLock, row, 1);
    fields->addWidget(m_verifyWrite, row++, 2);
    fields->addWidget(m_reference, row++, 1, 1, 2);
    auto* speedLabel = new QLabel(QStringLiteral("条码阅读器速度"), this);
    auto* speedUnit = new QLabel(QStringLiteral("ms"), this);
    fields->addWidget(speedLabel, row, 0);
    fields->addWidget(m_scanSpeed, row, 1);
    fields->addWidget(speedUnit, row++, 2);
    for (QWidget* w : {static_cast<QWidget*>(m_verifyWrite), static_cast<QWidget*>(m_reference),
                       static_cast<QWidget*>(m_scanSpeed), static_cast<QWidget*>(speedLabel),
                       static_cast<QWidget*>(speedUnit)})
        conceal(w);

    m_grid->setMinimumSize(330, 160);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(new QLabel(QStringLiteral("条码结构参数"), this));
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &CParameterDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CParameterDlg::reject);
    connect(m_browse, &QPushButton::clicked, this, &CParameterDlg::browse);

    // Opening: the held values and the barcode structures, then the lists
    // and the controls that are filled straight from the store.
    const CSettings settings;
    const QString barPar = settings.barPar();
    m_heldScanSpeed = settings.scanSpeed();
    m_heldWorkPath = settings.workPath();
    m_heldVerifyWrite = settings.verifyWrite();
    m_heldSetLock = settings.setLock();
    if (!barPar.isEmpty())
        m_grid->fill(barPar);
    showHeldValues();

    m_location->addItems(kHoldingLocations);
    m_mediaType->addItems(kMediaTypes);
    m_location->setCurrentIndex(holdingLocationIndex(settings.location()));
    m_reference->setChecked(settings.reference());
    m_mediaType->setCurrentIndex(settings.type());
    m_libraryId->setText(settings.libraryId());
}

CSettingsAccepted& CSettingsAccepted::instance()
{
    static CSettingsAccepted announcer;
    return announcer;
}

bool CParameterDlg::openSettings(QWidget* owner)
{
    CParameterDlg dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}

void CParameterDlg::showHeldValues()
{
    m_scanSpeed->setValue(m_heldScanSpeed);
    m_workPath->setText(m_heldWorkPath);
    m_verifyWrite->setChecked(m_heldVerifyWrite);
    m_setLock->setChecked(m_heldSetLock);
}

void CParameterDlg::takeHeldValues()
{
    m_heldScanSpeed = m_scanSpeed->value();
    m_heldWorkPath = m_workPath->text();
    m_heldVerifyWrite = m_verifyWrite->isChecked();
    m_heldSetLock = m_setLock->isChecked();
}

void CParameterDlg::browse()
{
    // Opens in the work directory shown, not in the program's folder.
    const QString folder = Ui::instance().chooseFolder(this, kFolderTitle, m_workPath->text());
    if (folder.isEmpty())
        return;
    m_heldWorkPath = folder;
    showHeldValues();
}

void CParameterDlg::accept()
{
    takeHeldValues();
    CSettings settings;
    settings.setBarPar(m_grid->barPar());
    settings.setScanSpeed(m_heldScanSpeed);
    settings.setWorkPath(m_heldWorkPath);
    settings.setVerifyWrite(m_heldVerifyWrite);
    settings.setSetLock(m_heldSetLock);
    settings.setLocation(m_location->currentText());
    settings.setReference(m_reference->isChecked());
    settings.setType(m_mediaType->currentIndex());
    settings.setLibraryId(m_libraryId->text());
    emit CSettingsAccepted::instance().accepted();
    QDialog::accept();
}

// The settings dialog "参数设置": the library identifier, the lock choice, the
// work directory, the holding location and media type lists and the barcode
// structures, read from the settings store when the dialog opens and written
// back on OK ("确定"); Cancel ("取消") writes nothing.
//
// The verify-on-write and reference boxes and the barcode reader speed exist
// but are hidden and disabled: they keep their stored values, which change
// only through the settings store itself.
//
// The dialog holds the scan speed, the work directory and the verify and lock
// choices as values of its own, shown in their controls at opening and taken
// from them on OK. A folder chosen with "浏览" becomes the held work directory
// and the held values are shown again, so unsaved changes of those controls
// are undone; the other controls keep what staff entered.
//
// An OK reaches every page, whichever page opened the dialog: the dialog
// announces it (CSettingsAccepted) once the settings are stored.
#pragma once

#include <QDialog>

class CParameterGrid;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The one announcer of an OK in the settings dialog.
class CSettingsAccepted : public QObject {
    Q_OBJECT
public:
    static CSettingsAccepted& instance();

signals:
    // The settings store holds what staff accepted.
    void accepted();
};

class CParameterDlg : public QDialog {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("参数设置");
    static inline const QString kFolderTitle = QStringLiteral("Select a Starting Directory");

    explicit CParameterDlg(QWidget* parent = nullptr);

    // Shows the dialog modally; whether it closed with OK.
    static bool openSettings(QWidget* owner);

    QLineEdit* libraryIdField() const { return m_libraryId; }
    QCheckBox* verifyWriteBox() const { return m_verifyWrite; }
    QCheckBox* setLockBox() const { return m_setLock; }
    QLineEdit* workPathField() const { return m_workPath; }
    QPushButton* browseButton() const { return m_browse; }
    QSpinBox* scanSpeedField() const { return m_scanSpeed; }
    QComboBox* locationList() const { return m_location; }
    QComboBox* mediaTypeList() const { return m_mediaType; }
    QCheckBox* referenceBox() const { return m_reference; }
    CParameterGrid* barcodeGrid() const { return m_grid; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

    void accept() override;

private:
    void browse();
    void showHeldValues();
    void takeHeldValues();

    // Held values.
    int m_heldScanSpeed = 0;
    QString m_heldWorkPath;
    bool m_heldVerifyWrite = false;
    bool m_heldSetLock = false;

    QLineEdit* m_libraryId;
    QCheckBox* m_verifyWrite;
    QCheckBox* m_setLock;
    QLineEdit* m_workPath;
    QPushButton* m_browse;
    QSpinBox* m_scanSpeed;
    QComboBox* m_location;
    QComboBox* m_mediaType;
    QCheckBox* m_reference;
    CParameterGrid* m_grid;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

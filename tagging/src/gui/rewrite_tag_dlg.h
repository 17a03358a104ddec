// The rewrite-tag dialog "改写标签": changes single parts of a book tag that
// is already programmed, never its number. Staff tick what is to change
// ("写" of a group, or "锁" for the lock of the library identifier block), set
// the new values and press "开始写&B"; the dialog writes exactly the ticked
// parts to the tag on the reader, says how it went in one message, and stays
// open with its values for the next tag until "退出&X". Blocks or locks go
// onto another library's tag only when staff confirm it (standard_tag.h).
//
//   group "馆标识":  "写" the library identifier from its field; "锁" lock
//                    the library identifier block
//   group "馆藏项":  "写" the holding data: reference flag (hidden box, clear),
//                    media type, holding location
//   group "EAS":     "写" the EAS bit, "ON" or "OFF"
//
// A group's value controls are enabled while its "写" is ticked.
#pragma once

#include "reader_library.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class CRewriteTagDlg : public QDialog {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("改写标签");
    static inline const QString kNothingChosen = QStringLiteral("未选择更改项目!");
    static inline const QString kRewritten = QStringLiteral("改写标签成功！");

    // The reader as it is at each write: the form may reconnect it (a new
    // handle) while the dialog is open.
    using CurrentReader = std::function<ReaderHandle()>;
    explicit CRewriteTagDlg(CurrentReader reader, QWidget* parent = nullptr);
    // Always the reader of handle.
    explicit CRewriteTagDlg(ReaderHandle reader, QWidget* parent = nullptr)
        : CRewriteTagDlg(CurrentReader([reader] { return reader; }), parent)
    {
    }

    QCheckBox* writeLibraryBox() const { return m_writeLibrary; }
    QCheckBox* lockLibraryBox() const { return m_lockLibrary; }
    QLineEdit* libraryIdField() const { return m_libraryId; }
    QCheckBox* writeHoldingsBox() const { return m_writeHoldings; }
    QCheckBox* referenceBox() const { return m_reference; }
    QComboBox* mediaTypeList() const { return m_mediaType; }
    QComboBox* locationList() const { return m_location; }
    QCheckBox* writeEasBox() const { return m_writeEas; }
    QComboBox* easList() const { return m_eas; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* exitButton() const { return m_exit; }

    // "开始写&B".
    void startWriting();
    // The item for the ticked parts; false when nothing is ticked.
    bool buildItem(brnItem& item) const;

private:
    void enableGroups();

    CurrentReader m_reader;
    QCheckBox* m_writeLibrary;
    QCheckBox* m_lockLibrary;
    QLineEdit* m_libraryId;
    QCheckBox* m_writeHoldings;
    QCheckBox* m_reference;
    QComboBox* m_mediaType;
    QComboBox* m_location;
    QCheckBox* m_writeEas;
    QComboBox* m_eas;
    QPushButton* m_start;
    QPushButton* m_exit;
};

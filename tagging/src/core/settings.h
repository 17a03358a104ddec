// The program's per-user settings store: text and integer values by section
// and key, kept in an INI file of the user ("Local AppWizard-Generated
// Applications/Tagging.ini" under the user's configuration folder). A key that
// is absent reads as its default.
#pragma once

#include <QSettings>
#include <QString>

class CSettings {
public:
    static inline const QString kOrganisation = QStringLiteral("Local AppWizard-Generated Applications");
    static inline const QString kApplication = QStringLiteral("Tagging");
    static inline const QString kLastEnv = QStringLiteral("LastEnv");
    static inline const QString kReader = QStringLiteral("Reader");

    CSettings();

    QString text(const QString& section, const QString& key, const QString& fallback = {}) const;
    int integer(const QString& section, const QString& key, int fallback = 0) const;
    void setText(const QString& section, const QString& key, const QString& value);
    void setInteger(const QString& section, const QString& key, int value);

    // "LastEnv"
    QString barPar() const { return text(kLastEnv, QStringLiteral("BarPar")); }
    void setBarPar(const QString& v) { setText(kLastEnv, QStringLiteral("BarPar"), v); }
    int scanSpeed() const { return integer(kLastEnv, QStringLiteral("ScanSpeed")); }
    void setScanSpeed(int v) { setInteger(kLastEnv, QStringLiteral("ScanSpeed"), v); }
    QString workPath() const { return text(kLastEnv, QStringLiteral("WorkPath")); }
    void setWorkPath(const QString& v) { setText(kLastEnv, QStringLiteral("WorkPath"), v); }
    bool verifyWrite() const { return integer(kLastEnv, QStringLiteral("VerifyWrite")) != 0; }
    void setVerifyWrite(bool v) { setInteger(kLastEnv, QStringLiteral("VerifyWrite"), v ? 1 : 0); }
    bool setLock() const { return integer(kLastEnv, QStringLiteral("SetLock")) != 0; }
    void setSetLock(bool v) { setInteger(kLastEnv, QStringLiteral("SetLock"), v ? 1 : 0); }
    QString location() const { return text(kLastEnv, QStringLiteral("Location"), QStringLiteral("2A")); }
    void setLocation(const QString& v) { setText(kLastEnv, QStringLiteral("Location"), v); }
    bool reference() const { return integer(kLastEnv, QStringLiteral("Reference")) != 0; }
    void setReference(bool v) { setInteger(kLastEnv, QStringLiteral("Reference"), v ? 1 : 0); }
    // List indexes: a stored value that selects no entry of the list (a
    // negative one, stored when no entry was selected, or one past the end of
    // the list, as a hand-edited store may hold) reads as the first entry.
    int type() const;
    void setType(int v) { setInteger(kLastEnv, QStringLiteral("Type"), v); }
    QString libraryId() const { return text(kLastEnv, QStringLiteral("LibraryID")); }
    void setLibraryId(const QString& v) { setText(kLastEnv, QStringLiteral("LibraryID"), v); }
    // The port list's index (COM1 to COM9); one out of the list reads as 2 ("COM3").
    int comPort() const;
    void setComPort(int v) { setInteger(kLastEnv, QStringLiteral("Com Port"), v); }
    int patronType() const;
    void setPatronType(int v) { setInteger(kLastEnv, QStringLiteral("PatronType"), v); }
    int patronCardStatus() const;
    void setPatronCardStatus(int v) { setInteger(kLastEnv, QStringLiteral("PatronCardStatus"), v); }

    // "Reader": written by no part of the program. A depth below 1 would make
    // every later call of continuous reading fail: it reads as the default 80.
    int sorting() const;

    static constexpr int kPorts = 9;          // COM1 to COM9
    static constexpr int kDefaultPort = 2;    // "COM3"
    static constexpr int kDefaultSorting = 80;

private:
    // The index stored under key when it selects one of entries entries, else fallback.
    int listIndex(const QString& key, qsizetype entries, int fallback) const;

    mutable QSettings m_store;
};

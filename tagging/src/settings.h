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
    // List indexes: a negative stored value (no entry was selected) reads as 0.
    int type() const { return listIndex(QStringLiteral("Type"), 0); }
    void setType(int v) { setInteger(kLastEnv, QStringLiteral("Type"), v); }
    QString libraryId() const { return text(kLastEnv, QStringLiteral("LibraryID")); }
    void setLibraryId(const QString& v) { setText(kLastEnv, QStringLiteral("LibraryID"), v); }
    int comPort() const { return integer(kLastEnv, QStringLiteral("Com Port"), 2); }
    void setComPort(int v) { setInteger(kLastEnv, QStringLiteral("Com Port"), v); }
    int patronType() const { return listIndex(QStringLiteral("PatronType"), 0); }
    void setPatronType(int v) { setInteger(kLastEnv, QStringLiteral("PatronType"), v); }
    int patronCardStatus() const { return listIndex(QStringLiteral("PatronCardStatus"), 0); }
    void setPatronCardStatus(int v) { setInteger(kLastEnv, QStringLiteral("PatronCardStatus"), v); }

    // "Reader": written by no part of the program.
    int sorting() const { return integer(kReader, QStringLiteral("Sorting"), 80); }

private:
    int listIndex(const QString& key, int fallback) const;

    mutable QSettings m_store;
};

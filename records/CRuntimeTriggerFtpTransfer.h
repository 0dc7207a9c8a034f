#ifndef CRUNTIMETRIGGERFTPTRANSFER_H
#define CRUNTIMETRIGGERFTPTRANSFER_H

#include "CDateTime.h"
#include "CRecordStatus.h"

#include <QByteArray>
#include <QString>
#include <array>

class QDataStream;

// FTP transfer trigger record: how processes ask the file-transfer side to send
// files. Every field travels behind its change mark; reading merges only the
// marked fields, so a writer changes no more than it set.
class CRuntimeTriggerFtpTransfer
{
public:
    // Fields in stream order; also the index of each change mark.
    enum Field {
        FieldStartGpsFileTransfer,
        FieldTriggerFlag2,
        FieldTriggerFlag3,
        FieldTriggerFlag4,
        FieldTriggerFlag5,
        FieldTriggerFlag6,
        FieldTriggerFlag7,
        FieldTriggerFlag8,
        FieldTriggerFlag9,
        FieldTriggerText1,
        FieldTriggerText2,
        FieldTriggerTime1,
        FieldTriggerTime2,
        FieldTriggerText3,
        FieldCount
    };
    static constexpr int kFlagCount = 9;

    QByteArray serializationBuffer; // not streamed
    qint32 version;
    QByteArray reserved;

    CRuntimeTriggerFtpTransfer();

    bool StartGpsFileTransfer() const { return m_flags[FieldStartGpsFileTransfer]; }
    bool TriggerFlag2() const { return m_flags[FieldTriggerFlag2]; }
    bool TriggerFlag3() const { return m_flags[FieldTriggerFlag3]; }
    bool TriggerFlag4() const { return m_flags[FieldTriggerFlag4]; }
    bool TriggerFlag5() const { return m_flags[FieldTriggerFlag5]; }
    bool TriggerFlag6() const { return m_flags[FieldTriggerFlag6]; }
    bool TriggerFlag7() const { return m_flags[FieldTriggerFlag7]; }
    bool TriggerFlag8() const { return m_flags[FieldTriggerFlag8]; }
    bool TriggerFlag9() const { return m_flags[FieldTriggerFlag9]; }
    QString TriggerText1() const { return m_text1; }
    QString TriggerText2() const { return m_text2; }
    CDateTime TriggerTime1() const { return m_time1; }
    CDateTime TriggerTime2() const { return m_time2; }
    QString TriggerText3() const { return m_text3; }

    // Every flag false and the three texts empty, each marked, so that a
    // writer without a stored record clears stale requests (times untouched).
    void resetAllMarked();
    void setStartGpsFileTransfer(bool value) { setFlag(FieldStartGpsFileTransfer, value); }
    void setTriggerFlag2(bool value) { setFlag(FieldTriggerFlag2, value); }
    void setTriggerFlag3(bool value) { setFlag(FieldTriggerFlag3, value); }
    void setTriggerFlag4(bool value) { setFlag(FieldTriggerFlag4, value); }
    void setTriggerFlag5(bool value) { setFlag(FieldTriggerFlag5, value); }
    void setTriggerFlag6(bool value) { setFlag(FieldTriggerFlag6, value); }
    void setTriggerFlag7(bool value) { setFlag(FieldTriggerFlag7, value); }
    void setTriggerFlag8(bool value) { setFlag(FieldTriggerFlag8, value); }
    void setTriggerFlag9(bool value) { setFlag(FieldTriggerFlag9, value); }
    void setTriggerText1(const QString &value);
    void setTriggerText2(const QString &value);
    void setTriggerTime1(const CDateTime &value);
    void setTriggerTime2(const CDateTime &value);
    void setTriggerText3(const QString &value);

    bool isMarked(Field field) const { return m_marks[field]; }
    // The record change mark: some field was set or merged. Never streamed.
    bool isChanged() const { return m_changed; }

    QByteArray serialize();
    // The values alone (flags, two texts, two times, third text), without
    // version, reserved block or marks; also written into the serialisation buffer.
    QByteArray serializeValues();
    // Merging read.
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares values and marks; the serialisation buffer is no part of the value.
    bool operator==(const CRuntimeTriggerFtpTransfer &other) const;
    bool operator!=(const CRuntimeTriggerFtpTransfer &other) const { return !(*this == other); }

private:
    void setFlag(Field field, bool value);
    void mark(Field field);

    std::array<bool, kFlagCount> m_flags;
    QString m_text1;
    QString m_text2;
    CDateTime m_time1;
    CDateTime m_time2;
    QString m_text3;
    std::array<bool, FieldCount> m_marks;
    bool m_changed;
};

QDataStream &operator<<(QDataStream &out, const CRuntimeTriggerFtpTransfer &record);
QDataStream &operator>>(QDataStream &in, CRuntimeTriggerFtpTransfer &record);

#endif // CRUNTIMETRIGGERFTPTRANSFER_H

#pragma once

#include <QByteArray>
#include <QString>

#include <boost/dynamic_bitset.hpp>

#include <cstdint>
#include <vector>

class QIODevice;

// An Intel HEX file as one contiguous memory image, for one memory area: the
// records of type dataRecordType are the data of the area, records of the
// other data types belong to other areas and are skipped. Also the error
// state and the German error texts that every device file reader shares.
//
// Errors are kept, never thrown: load() and save() return false and leave
// errorCode, errorText ("(%1%): %2%") and errorLocation ("%1%(%2%): %3%").
// Not shared between threads.
class FileIntelHex
{
public:
    struct startSegment_t
    {
        quint16 cs = 0;
        quint16 ip = 0;
        bool present = false;
    };
    struct startLinear_t
    {
        quint32 address = 0;
        bool present = false;
    };

    enum addressMode_t : quint32
    {
        addressModeNone = 0,
        addressModeSegment = 1, // record types 2 and 3
        addressModeLinear = 2   // record types 4 and 5
    };

    // Largest image load() accepts, measured from baseAddress to the highest
    // byte given: 64 MiB. A file whose data span more is refused with code 22
    // before anything of that size is allocated.
    static constexpr quint32 defaultMaxImageSize = 64u * 1024 * 1024;

    QString fileName;            // last file loaded or saved
    quint32 dataRecordType = 0;  // record type of this area's data records
    quint32 addressMode = addressModeNone;
    startSegment_t startSegment; // from a type 3 record
    startLinear_t startLinear;   // from a type 5 record
    quint32 baseAddress = 0;     // address of image[0]
    boost::dynamic_bitset<> occupied; // one bit per image byte: given by a record
    std::vector<quint8> image;
    quint8 fillByte = 0xFF;      // value of the bytes no record gives
    quint32 growStep = 0x10000;  // minimum growth of image and occupied
    quint8 bytesPerRecord = 16;  // data bytes per record written by save()
    quint32 errorCode = 0;
    QString errorText;
    QString errorLocation;
    quint32 maxImageSize = defaultMaxImageSize;

    FileIntelHex() = default;
    virtual ~FileIntelHex();

    // Forgets the file: name, address mode, start addresses, base, image and
    // occupied map. The error state and the settings stay.
    virtual void reset();
    // Reads an Intel HEX file. True when no error was set; on error the image
    // is dropped and the error kept.
    virtual bool load(const QString& p_strPath);
    // Writes the occupied bytes of the image as Intel HEX.
    virtual bool save(const QString& p_strPath);

    // One record line without line end: ":", count, 16-bit address, type,
    // data and checksum in upper-case hex. Empty (and code 9 set) when
    // p_nCount does not fit a record.
    virtual QByteArray makeRecord(quint16 p_nAddress, quint8 p_nRecordType, const quint8* p_pData, int p_nCount);
    virtual QByteArray makeDataRecord(quint16 p_nAddress, const quint8* p_pData, int p_nCount);
    virtual QByteArray makeEndRecord();
    virtual void clearError();
    // "(%1%): %2%" with the code and its text; unknown codes get
    // "Unbekannter Fehlerzustand.".
    virtual QString errorMessage(quint32 p_nCode) const;

    // Sets the error state; p_pUnit and p_nLine name the failing check.
    void setError(quint32 p_nCode, const char* p_pUnit = "file_intel_hex", int p_nLine = 0);

    // CRC-32 of the image (initial 0xFFFFFFFF, inverted); 0xFFFFFFFF when
    // the image is empty.
    quint32 imageCrc32() const;
    static quint32 crc32(const quint8* p_pBytes, std::size_t p_nLength);
    static quint16 crc16(const quint8* p_pBytes, std::size_t p_nLength);

    // Record fields of a record text starting with ':'. Hex digits of either
    // case are read; a field outside the text reads as 0.
    static quint8 recordCount(const QByteArray& p_arrRecord);
    static quint16 recordAddress(const QByteArray& p_arrRecord);
    static quint8 recordType(const QByteArray& p_arrRecord);
    static QByteArray recordData(const QByteArray& p_arrRecord);
    static quint8 recordDataByte(const QByteArray& p_arrRecord, int p_nIndex);
    // Big-endian word at data bytes p_nIndex and p_nIndex + 1.
    static quint16 recordDataWord(const QByteArray& p_arrRecord, int p_nIndex);
    static QByteArray byteHex(quint8 p_nValue);
    static QByteArray wordHex(quint16 p_nValue);

    // Starts with ':', ':' and the hex digits up to the first other character
    // are exactly 2 * count + 11 characters, and its bytes sum to 0 modulo 256.
    static bool isValidRecord(const QByteArray& p_arrRecord);
    // p_arrText: ':' and hex digits, 2 * count + 9 characters in all; cuts
    // anything after them and appends the checksum. False (text untouched) on
    // a wrong length.
    static bool appendChecksum(QByteArray& p_arrText);

    static bool isDataRecordType(quint32 p_nType);

protected:
    // Takes one record from the record reader's view of the stream; see
    // file_intel_hex.cpp.
    bool applyRecord(const char* p_pRecord, int p_nLength, quint64& p_nSegmentBase, quint64& p_nHighestEnd,
                     bool& p_bHaveData);
    bool writeRecord(QIODevice& p_device, const QByteArray& p_arrRecord);
};

#define QX_FILE_ERROR(code) setError((code), QX_FILE_UNIT, __LINE__)

#pragma once

#include "file_intel_hex.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Numbered display texts of a device (language files). loadText() turns a
// source text file into the binary text image the devices load and writes it
// beside the source as "<source>.text.bin"; load() and save() read and write
// text images as Intel HEX in records of type 0x51.
//
// Source formats, chosen by the last character of the path: "h" selects C
// header lines
//     #define NAME 12 ///< 0 "text"
// anything else list lines
//     12 0 "text"
// The numeric field after the marker (or after the number) is read but not
// stored. Texts are taken byte for byte as written (escapes stay as they are)
// and cut to 130 bytes.
//
// Image layout (multi-byte fields little-endian); docs/file-formats.md has
// the full table:
//     0x00  header of 0x38 bytes (magic, highest text number N at 0x26,
//           CRC-32 at 0x28, text bytes at 0x2C, table offset 0x38 at 0x30,
//           text start at 0x34)
//     0x38  index table, N + 1 entries of 16 bits: image offset of text i,
//           0 when text i is absent or empty
//     0x38 + 2 (N + 1)   the texts, each with a 0x00, in source order
// The CRC-32 covers everything from the index table to the end of the texts,
// that is 2 (N + 1) + text bytes from offset 0x38.
class FileDeviceText : public FileIntelHex
{
public:
    static constexpr int maxTextLength = 130;
    static constexpr quint32 textRecordType = 0x51;

    static constexpr int headerLength = 0x38;
    static constexpr int offsetHighestNumber = 0x26;
    static constexpr int offsetCrc = 0x28;
    static constexpr int offsetTextBytes = 0x2C;
    static constexpr int offsetTable = 0x30;
    static constexpr int offsetTextStart = 0x34;

    // The stored texts as they stand in the image: each followed by 0x00.
    std::vector<quint8> textArea;

    FileDeviceText();
    ~FileDeviceText() override;

    void reset() override;
    // Reads a text image from Intel HEX and checks its CRC (code 9 on a
    // mismatch, 10 when the header points outside the image).
    bool load(const QString& p_strPath) override;
    bool save(const QString& p_strPath) override;

    // Builds the image from a source text file and writes it to
    // p_strPath + ".text.bin". Codes: 1 (open/write), 33 (malformed line),
    // 22 (texts beyond the 16-bit offsets of the index table).
    bool loadText(const QString& p_strPath);

    // Fields of the current image (0 when it is too short).
    quint16 highestTextNumber() const;
    quint32 storedCrc() const;
    quint32 textBytes() const;
    // The CRC-32 over the bytes the stored CRC covers, or false when the
    // header points outside the image.
    bool computeCrc(quint32& p_nCrc) const;

    // One source line, line end removed. 0: not a text line; 1: text line
    // (number and text set); -1: malformed.
    static int parseLine(const QByteArray& p_arrLine, bool p_bHeaderFormat, quint32& p_nNumber,
                         QByteArray& p_arrText);

private:
    quint32 uint32At(int p_nOffset) const;
};

#ifndef FRAME_H
#define FRAME_H

// Byte-level rules shared by command frames (host to module, header 0x56)
// and response frames (module to host, header 0x89): a plain XOR check byte
// over everything in front of it and little-endian multi-byte fields.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

constexpr quint8 CommandHeader = 0x56;
constexpr quint8 ResponseHeader = 0x89;

// Writes into byte length-1 the XOR of bytes 0 to length-2 (a single byte becomes 0).
void setFrameXor(char *frame, quint16 length);
// True when byte length-1 is the XOR of bytes 0 to length-2 (for length 1: byte 0 is 0).
bool checkFrameXor(const char *frame, int length);

quint16 readUInt16(const QByteArray &frame, int index);
quint32 readUInt32(const QByteArray &frame, int index);
// The two bytes of a 16-bit field, low byte first.
QByteArray uint16Bytes(quint16 value);

// Length of a response frame from its bytes 1 and 2: 11 for 0x81, 33 for 0x82,
// byte 2 + 4 for every other code. The frame must hold at least 3 bytes.
int expectedFrameLength(const QByteArray &frame);
// The same rule from the code (byte 1) and the length byte (byte 2) alone.
int expectedFrameLength(quint8 code, quint8 lengthByte);

// "56 02 00 54": two lower-case hex digits per byte, single blanks between.
QString hexBytes(const QByteArray &bytes);

#endif // FRAME_H

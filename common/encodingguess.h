#pragma once
// Telling UTF-8 from code page 932 in a file without a byte-order mark.
// Fed the bytes in pieces (each ending at a line end, or the whole file), it
// decides:
//  - no byte outside ASCII: code page 932 (the two read it alike);
//  - only one of the two readings decodes strictly: that one;
//  - both decode: ICU's charset detector, limited to UTF-8 and Shift_JIS,
//    on the first lines with non-ASCII bytes, when its confidence separates the two; ICU's
//    UTF-8 confidence only counts well-formed sequences, so a lead that rests
//    on two-byte sequences alone (which pairs of half-width katakana form as
//    well) does not separate them;
//  - otherwise code page 932 when its reading is half-width katakana or JIS
//    X 0208 text (katakana not run together with Latin letters, as accented
//    letters read as code page 932 are), UTF-8 when it is not.
// The whole-file reader and the streaming reader both decide through it,
// so they decide alike.

#include <QByteArray>
#include <QByteArrayView>

enum class TextEncoding;

class EncodingGuess {
public:
    // A piece of the file; every piece but the last ends with CR or LF, so
    // no character of either encoding is split.
    void add(QByteArrayView piece);
    // The encoding of all pieces added (never Utf8WithBom).
    TextEncoding decide() const;

    // How much of the file the detector sees.
    static constexpr qsizetype kSampleBytes = 64 * 1024;

private:
    void scanCp932(QByteArrayView piece);
    bool m_high = false;
    bool m_utf8 = true;
    bool m_utf8Long = false; // a three- or four-byte sequence
    bool m_cp932 = true;
    bool m_cp932Japanese = true; // katakana and JIS X 0208 only, katakana apart from letters
    QByteArray m_sample;
};

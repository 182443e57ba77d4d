#include "encodingguess.h"

#include "textcodec.h"
#include "textfile.h"

#include <unicode/ucsdet.h>

#include <algorithm>
#include <cstring>

namespace {

// Points of confidence (of 100) by which one reading must lead.
constexpr int kSeparation = 30;

bool isLetter(unsigned char c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// Leads of the JIS X 0208 rows in code page 932 (row 13, the NEC special
// characters, and the extensions after row 84 are not JIS).
bool isJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x84) || (c >= 0x88 && c <= 0x9f) || (c >= 0xe0 && c <= 0xea);
}

struct Confidence {
    int utf8 = 0;
    int shiftJis = 0;
};

Confidence detect(const QByteArray &sample)
{
    Confidence out;
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *det = ucsdet_open(&status);
    if (U_FAILURE(status))
        return out;
    ucsdet_setText(det, sample.constData(), static_cast<int32_t>(sample.size()), &status);
    int32_t count = 0;
    const UCharsetMatch **matches = ucsdet_detectAll(det, &count, &status);
    for (int32_t i = 0; U_SUCCESS(status) && i < count; ++i) {
        const char *name = ucsdet_getName(matches[i], &status);
        const int confidence = ucsdet_getConfidence(matches[i], &status);
        if (U_FAILURE(status) || !name)
            break;
        if (std::strcmp(name, "UTF-8") == 0)
            out.utf8 = confidence;
        else if (std::strcmp(name, "Shift_JIS") == 0)
            out.shiftJis = confidence;
    }
    ucsdet_close(det);
    return out;
}

} // namespace

void EncodingGuess::add(QByteArrayView piece)
{
    bool multibyte = false;
    if (m_utf8) {
        m_utf8 = isValidUtf8(piece, &multibyte);
        for (qsizetype i = 0; m_utf8 && !m_utf8Long && i < piece.size(); ++i)
            m_utf8Long = static_cast<unsigned char>(piece[i]) >= 0xe0;
    } else {
        for (char c : piece)
            if (static_cast<unsigned char>(c) >= 0x80) {
                multibyte = true;
                break;
            }
    }
    m_high = m_high || multibyte;
    if (m_cp932)
        scanCp932(piece);
    // The detector sees the lines that hold non-ASCII bytes, whole: ASCII
    // lines tell it nothing and would dilute what it sees.
    qsizetype start = 0;
    while (multibyte && start < piece.size() && m_sample.size() < kSampleBytes) {
        qsizetype end = piece.indexOf('\n', start);
        end = end < 0 ? piece.size() : end + 1;
        const QByteArrayView line = piece.sliced(start, end - start);
        bool high = false;
        for (char c : line)
            high = high || static_cast<unsigned char>(c) >= 0x80;
        if (high && (m_sample.isEmpty() || m_sample.size() + line.size() <= kSampleBytes))
            m_sample.append(line.data(), line.size());
        start = end;
    }
}

void EncodingGuess::scanCp932(QByteArrayView piece)
{
    if (!decodeCp932(piece.toByteArray())) {
        m_cp932 = false;
        return;
    }
    bool afterLetter = false, afterKana = false;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(piece[i]);
        if (c < 0x80) {
            if (afterKana && isLetter(c))
                m_cp932Japanese = false;
            afterLetter = isLetter(c);
            afterKana = false;
        } else if (c >= 0xa1 && c <= 0xdf) {
            if (afterLetter)
                m_cp932Japanese = false;
            afterKana = true;
            afterLetter = false;
        } else {
            if (!isJisLead(c))
                m_cp932Japanese = false;
            ++i; // the trail byte; decoding found it valid
            afterKana = afterLetter = false;
        }
    }
}

TextEncoding EncodingGuess::decide() const
{
    if (!m_high || !m_utf8)
        return TextEncoding::Cp932;
    if (!m_cp932)
        return TextEncoding::Utf8;
    const Confidence c = detect(m_sample);
    if (c.shiftJis >= c.utf8 + kSeparation)
        return TextEncoding::Cp932;
    if (c.utf8 >= c.shiftJis + kSeparation && m_utf8Long)
        return TextEncoding::Utf8;
    return m_cp932Japanese ? TextEncoding::Cp932 : TextEncoding::Utf8;
}

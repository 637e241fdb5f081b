// libFuzzer target: any bytes as whisper-stream's output, in any chunks, through
// the decoder and the live text's merge.
#include "Engine/UTF8StreamDecoder.h"
#include "Engine/WhisperStreamTranscriber.h"

#include <cstddef>
#include <cstdint>

using velmora::UTF8StreamDecoder;
using velmora::WhisperStreamTranscriber;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte says where the chunks end.
    const size_t step = size_t(data[0] % 16) + 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    UTF8StreamDecoder whole;
    const QString expected = whole.decode(bytes) + whole.flush();
    UTF8StreamDecoder chunked;
    QString text;
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(step))
        text += chunked.decode(bytes.mid(at, qsizetype(step)));
    text += chunked.flush();
    // However the pipe cuts the bytes, the text is the same.
    if (text != expected)
        __builtin_trap();
    QString live;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString segment = WhisperStreamTranscriber::extractLatestSegment(line);
        if (!segment.isEmpty())
            live = WhisperStreamTranscriber::mergeOverlapping(live, segment);
    }
    return 0;
}

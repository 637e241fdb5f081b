// libFuzzer target: any bytes as the vocabulary file, and what it decodes to
// correcting a text made from the same bytes.
#include "Vocabulary/VocabularyCorrector.h"
#include "Vocabulary/VocabularyStore.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // The file first, then after a NUL the text the speech tool printed.
    const qsizetype split = bytes.indexOf('\0');
    const QByteArray file = split < 0 ? bytes : bytes.left(split);
    const QString text = split < 0 ? QString() : QString::fromUtf8(bytes.mid(split + 1));
    const auto decoded = velmora::VocabularyStore::decode(file);
    if (!decoded)
        return 0;
    // What decodes survives its own encoding unchanged.
    if (velmora::VocabularyStore::decode(velmora::VocabularyStore::encode(*decoded)) != decoded)
        __builtin_trap();
    const velmora::VocabularyCorrector corrector(*decoded);
    (void)corrector.apply(text);
    return 0;
}

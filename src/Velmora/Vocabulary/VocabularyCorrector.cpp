#include "VocabularyCorrector.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace velmora {

namespace {

constexpr char32_t whiteSpaceRun = U' ';

bool isLetterOrMark(char32_t c)
{
    const auto category = QChar::category(c);
    return (category >= QChar::Mark_NonSpacing && category <= QChar::Mark_Enclosing)
           || (category >= QChar::Letter_Uppercase && category <= QChar::Letter_Other);
}

// The characters a whole word may not touch: letters, marks, digits, underscore.
bool isWordCharacter(char32_t c)
{
    const auto category = QChar::category(c);
    return isLetterOrMark(c) || (category >= QChar::Number_DecimalDigit && category <= QChar::Number_Other) || c == U'_';
}

bool isShouted(const QString& text)
{
    int letters = 0;
    for (const char32_t c : text.toUcs4())
        letters += isLetterOrMark(c) ? 1 : 0;
    return letters >= 2 && text == text.toUpper() && text != text.toLower();
}

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

} // namespace

QString VocabularyCorrector::key(const QString& text)
{
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QStringList words;
    QString word;
    for (const QChar c : composed) {
        if (c.isSpace()) {
            if (!word.isEmpty())
                words << std::exchange(word, QString());
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words << word;
    return words.join(QLatin1Char(' ')).toLower();
}

qsizetype VocabularyCorrector::graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

int VocabularyCorrector::child(int node, char32_t unit) const
{
    const auto& children = m_nodes[size_t(node)].children;
    const auto it = std::lower_bound(children.begin(), children.end(), unit,
                                     [](const auto& pair, char32_t value) { return pair.first < value; });
    return it != children.end() && it->first == unit ? it->second : -1;
}

int VocabularyCorrector::addChild(int node, char32_t unit)
{
    if (const int existing = child(node, unit); existing >= 0)
        return existing;
    m_nodes.push_back({});
    const int created = int(m_nodes.size() - 1);
    auto& children = m_nodes[size_t(node)].children;
    const auto it = std::lower_bound(children.begin(), children.end(), unit,
                                     [](const auto& pair, char32_t value) { return pair.first < value; });
    children.insert(it, {unit, created});
    return created;
}

VocabularyCorrector::VocabularyCorrector(const QList<VocabularyEntry>& entries)
{
    // The first entry to claim a wrong spelling keeps it.
    QHash<QString, QString> replacements;
    QStringList order;
    for (const VocabularyEntry& entry : entries) {
        const QString term = entry.spelling.trimmed().normalized(QString::NormalizationForm_C);
        if (term.isEmpty())
            continue;
        for (const QString& variant : entry.trimmedVariants()) {
            const QString variantKey = key(variant);
            if (!variantKey.isEmpty() && !replacements.contains(variantKey)) {
                replacements.insert(variantKey, term);
                order << variantKey;
            }
        }
    }
    if (order.isEmpty())
        return;

    struct Sorted {
        QString key;
        qsizetype length;
        QList<uint> codePoints;
    };
    std::vector<Sorted> sorted;
    sorted.reserve(size_t(order.size()));
    for (const QString& k : order)
        sorted.push_back({k, graphemeCount(k), k.toUcs4()});
    std::sort(sorted.begin(), sorted.end(), [](const Sorted& a, const Sorted& b) {
        return a.length != b.length ? a.length > b.length : a.codePoints < b.codePoints;
    });

    m_nodes.push_back({});
    for (size_t rank = 0; rank < sorted.size(); ++rank) {
        int node = 0;
        for (const char32_t c : sorted[rank].codePoints)
            node = addChild(node, c == whiteSpaceRun ? whiteSpaceRun : fold(c));
        // Two keys that fold alike: the one ranked first answers.
        if (m_nodes[size_t(node)].key < 0) {
            m_nodes[size_t(node)].key = int(m_keys.size());
            m_keys.push_back({replacements.value(sorted[rank].key), int(rank)});
        }
    }
}

QString VocabularyCorrector::apply(const QString& text) const
{
    const QString composed = text.normalized(QString::NormalizationForm_C);
    if (m_keys.empty())
        return composed == text ? text : composed;

    // Code points, each with where it starts in the UTF-16 text.
    std::u32string points;
    std::vector<qsizetype> offsets;
    points.reserve(size_t(composed.size()));
    offsets.reserve(size_t(composed.size()) + 1);
    for (qsizetype i = 0; i < composed.size();) {
        offsets.push_back(i);
        const QChar high = composed.at(i);
        if (high.isHighSurrogate() && i + 1 < composed.size() && composed.at(i + 1).isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(high, composed.at(i + 1)));
            i += 2;
        } else {
            points.push_back(high.unicode());
            i += 1;
        }
    }
    offsets.push_back(composed.size());
    const size_t n = points.size();

    QString output;
    qsizetype copied = 0;
    size_t i = 0;
    while (i < n) {
        if (i > 0 && isWordCharacter(points[i - 1])) {
            ++i;
            continue;
        }
        int best = -1;
        size_t bestEnd = 0;
        int node = 0;
        size_t j = i;
        while (j < n) {
            if (QChar::isSpace(points[j])) {
                node = child(node, whiteSpaceRun);
                while (node >= 0 && j < n && QChar::isSpace(points[j]))
                    ++j;
            } else {
                node = child(node, fold(points[j]));
                ++j;
            }
            if (node < 0)
                break;
            const int k = m_nodes[size_t(node)].key;
            // It must end a word, and among those that do, the first ranked wins.
            if (k >= 0 && (j == n || !isWordCharacter(points[j])) && (best < 0 || m_keys[size_t(k)].rank < m_keys[size_t(best)].rank)) {
                best = k;
                bestEnd = j;
            }
        }
        if (best < 0) {
            ++i;
            continue;
        }
        const qsizetype start = offsets[i];
        const qsizetype end = offsets[bestEnd];
        const QString matched = composed.mid(start, end - start);
        const QString& term = m_keys[size_t(best)].term;
        output += QStringView(composed).mid(copied, start - copied);
        output += isShouted(matched) ? term.toUpper() : term;
        copied = end;
        i = bestEnd;
    }
    if (copied == 0)
        return composed;
    output += QStringView(composed).mid(copied);
    return output;
}

} // namespace velmora

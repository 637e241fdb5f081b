#include "Vocabulary/VocabularyCorrector.h"
#include "Vocabulary/VocabularyPrompt.h"
#include "Vocabulary/VocabularyStore.h"

#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

VocabularyEntry entry(const QString& spelling, const QStringList& variants)
{
    return {QUuid::createUuid(), spelling, variants};
}

TEST(VocabularyCorrector, ReplacesWholeWordsInEveryScript)
{
    const QList<VocabularyEntry> vocabulary{
        entry("Kubernetes", {"cube and eighties", "cuba netties"}),
        entry("cat", {"kat"}),
        entry("C++", {"c plus plus", "c++"}),
        entry("a.b", {"a.b"}),
        entry("Москва", {"масква"}),
        entry("Αθήνα", {"αθηνα"}),
        entry("東京", {"东京"}),
        entry("Maya", {"maja", "maia"}),
        entry("Second", {"maja"}),
        entry("Iris", {"i"}),
        entry("Café", {"kafe"}),
        entry("Kaffee", {"café"}),
        entry("   ", {"blank"}),
    };
    const VocabularyCorrector corrector(vocabulary);
    struct Case {
        const char* name;
        QString input, expected;
    };
    const Case cases[] = {
        {"phrase across runs of white space", "we use Cube   and\tEighties daily", "we use Kubernetes daily"},
        {"phrase across a line break", "cuba\nnetties", "Kubernetes"},
        {"shouted text stays shouted", "CUBE AND EIGHTIES", "KUBERNETES"},
        {"mixed case is not shouting", "Cube And Eighties", "Kubernetes"},
        {"single capital letter is not shouting", "I said", "Iris said"},
        {"inside a longer word is left alone", "concatenate kat", "concatenate cat"},
        {"followed by a digit or underscore", "kat1 kat_ _kat 1kat kat", "kat1 kat_ _kat 1kat cat"},
        {"punctuation is an edge", "(kat), kat.", "(cat), cat."},
        {"metacharacters only literally", "I like c++ and a.b but not axb or c+", "Iris like C++ and a.b but not axb or c+"},
        {"Cyrillic", "Я живу в масква", "Я живу в Москва"},
        {"Cyrillic inside a word", "подмаскваль", "подмаскваль"},
        {"Greek, case-insensitive", "ΑΘΗΝΑ και αθηνα", "ΑΘΉΝΑ και Αθήνα"},
        {"CJK between other letters is no whole word", "我在东京工作", "我在东京工作"},
        {"CJK with edges", "我在 东京，工作", "我在 東京，工作"},
        {"first entry claims a spelling", "maja", "Maya"},
        {"decomposed input matches a composed variant", QString::fromUtf8("cafe\u0301 time"), "Kaffee time"},
        {"a decomposed accent makes another word", QString::fromUtf8("kafe\u0301 kafe"), QString::fromUtf8("kaf\u00e9 Café")},
        {"nothing to replace returns NFC", QString::fromUtf8("cre\u0300me"), QString::fromUtf8("cr\u00e8me")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(corrector.apply(c.input), c.expected) << c.name;
}

TEST(VocabularyCorrector, LongerPhrasesWinAtTheSamePosition)
{
    const VocabularyCorrector corrector({entry("New York", {"new york"}), entry("Newt", {"new"}),
                                         entry("New York City", {"new york city"})});
    EXPECT_EQ(corrector.apply("new york city and new york and new"), "New York City and New York and Newt");
}

TEST(VocabularyCorrector, EmptyOrBlankVocabularyLeavesTextAlone)
{
    for (const auto& vocabulary : {QList<VocabularyEntry>{}, QList<VocabularyEntry>{entry(" ", {"x"}), entry("y", {" "})}}) {
        const VocabularyCorrector corrector(vocabulary);
        EXPECT_FALSE(corrector.isActive());
        EXPECT_EQ(corrector.apply("x y"), "x y");
    }
}

TEST(VocabularyCorrector, ALargeVocabularyStillCorrects)
{
    QList<VocabularyEntry> vocabulary;
    for (int i = 0; i < 10000; ++i)
        vocabulary << entry(QStringLiteral("Term%1").arg(i), {QStringLiteral("wrong %1").arg(i), QStringLiteral("w%1x").arg(i)});
    const VocabularyCorrector corrector(vocabulary);
    EXPECT_EQ(corrector.apply("say wrong 9999 and W17X, not wrong 99999"), "say Term9999 and TERM17, not wrong 99999");
}

TEST(VocabularyCorrector, AVeryLongEntryWorks)
{
    const QString longWord(10000, QLatin1Char('q'));
    const VocabularyCorrector corrector({entry(longWord + "!", {longWord})});
    EXPECT_EQ(corrector.apply("a " + longWord + " b"), "a " + longWord + "! b");
}

TEST(VocabularyEntry, ParsesTheEditorsCommaSeparatedText)
{
    EXPECT_EQ(VocabularyEntry::parseVariants("Maja, , Maia ,"), (QStringList{"Maja", "Maia"}));
    EXPECT_EQ(VocabularyEntry::parseVariants(" ,\n, "), QStringList{});
    EXPECT_EQ((VocabularyEntry{QUuid::createUuid(), "x", {" a ", "", "a", "\n"}}).trimmedVariants(),
              (QStringList{"a", "a"}));
}

TEST(VocabularyPrompt, TermsWithinFourHundredCharacters)
{
    EXPECT_FALSE(VocabularyPrompt::make({}));
    EXPECT_FALSE(VocabularyPrompt::make({entry("  ", {})}));
    EXPECT_EQ(VocabularyPrompt::make({entry(" Maya ", {}), entry("maya", {}), entry("Kubernetes", {})}),
              QStringLiteral("Maya, Kubernetes."));

    // 1 + 99 = 100 for the first, then 101 for each further 99-character term:
    // a, b, c make 302; d would make 403, so d and everything after it stays out,
    // even the one-letter x.
    QList<VocabularyEntry> many;
    for (const char c : {'a', 'b', 'c', 'd', 'e'})
        many << entry(QString(99, QLatin1Char(c)), {});
    many.insert(4, entry("x", {}));
    const auto prompt = VocabularyPrompt::make(many);
    ASSERT_TRUE(prompt);
    EXPECT_EQ(*prompt, QString(99, 'a') + ", " + QString(99, 'b') + ", " + QString(99, 'c') + ".");

    // Grapheme clusters count as one each.
    const QString flags = QString::fromUtf8("🇩🇪").repeated(398);
    EXPECT_TRUE(VocabularyPrompt::make({entry(flags, {})}));
    EXPECT_FALSE(VocabularyPrompt::make({entry(QString::fromUtf8("🇩🇪").repeated(400), {})}));
}

TEST(VocabularyPrompt, RecognisesAnEcho)
{
    const std::optional<QString> prompt = QStringLiteral("Maya, Kubernetes.");
    const std::pair<QString, bool> cases[] = {
        {"Maya, Kubernetes.", true},
        {"  maya, kubernetes  ", true},
        {"...MAYA, KUBERNETES!", true},
        {"Maya, Kubernetes, Docker.", false},
        {"", false},
        {" .. ", false},
    };
    for (const auto& [transcript, echo] : cases)
        EXPECT_EQ(VocabularyPrompt::isEcho(transcript, prompt), echo) << transcript.toStdString();
    EXPECT_FALSE(VocabularyPrompt::isEcho("anything", std::nullopt));
}

TEST(VocabularyStore, RoundTripsAndRejectsIncompleteData)
{
    platform::MemoryPreferencesStore defaults;
    const QList<VocabularyEntry> vocabulary{entry("Maya", {"Maja"}), entry("K8s", {})};
    VocabularyStore::save(vocabulary, defaults);
    EXPECT_EQ(VocabularyStore::load(defaults), vocabulary);

    const QByteArray broken[] = {
        "{}", "[1]", R"([{"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "spelling": "x"}])",
        R"([{"id": "not a uuid", "spelling": "x", "variants": []}])",
        R"([{"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "spelling": "x", "variants": [1]}])", "[",
    };
    for (const QByteArray& data : broken) {
        defaults.setData(PreferenceKeys::vocabulary, data);
        EXPECT_TRUE(VocabularyStore::load(defaults).isEmpty()) << data.toStdString();
    }
    defaults.setString(PreferenceKeys::vocabulary, "[]");
    EXPECT_TRUE(VocabularyStore::load(defaults).isEmpty());
}

} // namespace

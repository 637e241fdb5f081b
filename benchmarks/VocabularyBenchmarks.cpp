// Building and applying a corrector for large vocabularies on a 10 kB transcript,
// and showing the largest vocabulary Velmora uses in the settings.
#include "Settings/VocabularyEntryRow.h"
#include "Vocabulary/VocabularyCorrector.h"
#include "Vocabulary/VocabularyStore.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

QString word(QRandomGenerator& random, int letters)
{
    QString text;
    for (int i = 0; i < letters; ++i)
        text += QChar(u'a' + random.bounded(26));
    return text;
}

QList<VocabularyEntry> vocabulary(int size)
{
    QRandomGenerator random(42);
    QList<VocabularyEntry> entries;
    for (int i = 0; i < size; ++i) {
        const QString term = word(random, 6 + random.bounded(6));
        entries.append({QUuid::createUuid(), term, {word(random, 5 + random.bounded(6)),
                                                    word(random, 4) + QLatin1Char(' ') + word(random, 5)}});
    }
    return entries;
}

// About 10 kB of words, one in fifty a wrong spelling from the vocabulary.
QString transcript(const QList<VocabularyEntry>& entries)
{
    QRandomGenerator random(7);
    QString text;
    int n = 0;
    while (text.size() < 10 * 1024) {
        text += (++n % 50 == 0) ? entries.at(random.bounded(int(entries.size()))).variants.first() : word(random, 2 + random.bounded(7));
        text += QLatin1Char(' ');
    }
    return text;
}

void BuildCorrector(benchmark::State& state)
{
    const auto entries = vocabulary(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(VocabularyCorrector(entries));
}

void ApplyCorrector(benchmark::State& state)
{
    const auto entries = vocabulary(int(state.range(0)));
    const VocabularyCorrector corrector(entries);
    const QString text = transcript(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(corrector.apply(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
}

// The settings' rows for a vocabulary, made, laid out and painted once, as opening the settings does.
void ShowSettingsRows(benchmark::State& state)
{
    const auto entries = vocabulary(int(state.range(0)));
    for (auto _ : state) {
        QScrollArea area;
        auto* column = new QWidget;
        auto* rows = new QVBoxLayout(column);
        for (const VocabularyEntry& entry : entries)
            rows->addWidget(new VocabularyEntryRow(entry, column));
        area.setWidget(column);
        area.resize(560, 700);
        area.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(area.grab());
    }
}

} // namespace

BENCHMARK(BuildCorrector)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(ApplyCorrector)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowSettingsRows)->Arg(100)->Arg(VocabularyStore::Limits().entries)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // Painted off screen where no display is given: the figure is the widgets' own cost.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "DirectInserter.h"

#include "TextDeliveryPool.h"

#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"
#include "Platform/TextDelivery.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <future>
#include <memory>

namespace velmora {

const QStringList& DirectInserter::terminalClasses()
{
    static const QStringList classes{
        QStringLiteral("xterm"),          QStringLiteral("uxterm"),         QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),           QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"),
        QStringLiteral("kgx"),            QStringLiteral("ptyxis"),         QStringLiteral("konsole"),
        QStringLiteral("yakuake"),        QStringLiteral("xfce4-terminal"), QStringLiteral("tilix"),
        QStringLiteral("terminator"),     QStringLiteral("kitty"),          QStringLiteral("alacritty"),
        QStringLiteral("foot"),           QStringLiteral("footclient"),     QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("st"),     QStringLiteral("st-256color"),
        QStringLiteral("guake"),          QStringLiteral("terminology"),    QStringLiteral("lxterminal"),
        QStringLiteral("mate-terminal"),  QStringLiteral("qterminal"),      QStringLiteral("sakura"),
        QStringLiteral("termite"),        QStringLiteral("deepin-terminal"), QStringLiteral("io.elementary.terminal"),
        QStringLiteral("cool-retro-term"), QStringLiteral("tabby"),         QStringLiteral("blackbox"),
        // Wayland windows name themselves by app_id
        QStringLiteral("org.gnome.Terminal"), QStringLiteral("org.gnome.Console"), QStringLiteral("org.gnome.Ptyxis"),
        QStringLiteral("org.kde.konsole"), QStringLiteral("org.kde.yakuake"), QStringLiteral("com.raggesilver.BlackBox"),
        QStringLiteral("com.mitchellh.ghostty"), QStringLiteral("ghostty"), QStringLiteral("Alacritty"),
    };
    return classes;
}

PasteRoute DirectInserter::routeFor(const std::optional<platform::FrontmostApplication>& frontmost,
                                    const QStringList& extraTerminalClasses,
                                    const std::optional<platform::ProcessFacts>& process)
{
    if (!frontmost)
        return {};
    const auto named = [&](const QString& name) {
        return !name.isEmpty()
            && (terminalClasses().contains(name, Qt::CaseInsensitive)
                || extraTerminalClasses.contains(name, Qt::CaseInsensitive));
    };
    const QString identifier = frontmost->identifier.value_or(QString());
    const QString instance = frontmost->instance.value_or(QString());
    const QString program = process ? process->executableName : QString();
    // Stock xterm binds no key to CLIPBOARD; Shift+Insert pastes PRIMARY there.
    for (const QString& name : {identifier, instance, program}) {
        if (name.compare(QLatin1String("xterm"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("uxterm"), Qt::CaseInsensitive) == 0)
            return {platform::PasteChord::shiftInsert, true};
    }
    // Ctrl+V in a terminal inserts the next key literally: a terminal under a name
    // no list knows is still one.
    if ((process && process->holdsPseudoTerminal) || named(identifier) || named(instance) || named(program))
        return {platform::PasteChord::controlShiftV, false};
    return {};
}

DirectInserter::Paster DirectInserter::systemPaster()
{
    return [](platform::PasteChord chord, std::function<bool()> beforeKeys,
              std::function<void(std::optional<platform::KeyInjectionError>)> done) {
        textDeliveryPool().start([chord, beforeKeys = std::move(beforeKeys), done = std::move(done)] {
            // The answer comes from the main thread, which owns the clipboard and never waits for us.
            const auto askMainThread = [&beforeKeys] {
                auto answer = std::make_shared<std::promise<bool>>();
                std::future<bool> future = answer->get_future();
                platform::postToMainThread([answer, beforeKeys] { answer->set_value(beforeKeys()); });
                return future.wait_for(std::chrono::seconds(1)) == std::future_status::ready && future.get();
            };
            const auto error = platform::TextDelivery::keyInjector()->paste(chord, std::chrono::milliseconds(500),
                                                                             askMainThread);
            platform::postToMainThread([done, error] { done(error); });
        });
    };
}

DirectInserter::DirectInserter(PasteboardAccess& clipboard, PasteboardAccess& primary, Paster paste,
                               FrontmostLookup frontmost, QStringList extraTerminalClasses,
                               std::chrono::milliseconds restoreDelay, ProcessLookup process, QObject* parent)
    : QObject(parent)
    , m_clipboard(clipboard)
    , m_primary(primary)
    , m_paste(paste ? std::move(paste) : systemPaster())
    , m_frontmost(frontmost ? std::move(frontmost) : &platform::TextDelivery::currentFrontmostApplication)
    , m_process(process ? std::move(process) : &platform::ProcessFacts::of)
    , m_extraTerminalClasses(std::move(extraTerminalClasses))
    , m_restoreDelay(restoreDelay)
{
    // Quitting within the delay still gives the user's clipboard back; Qt then hands
    // it to the clipboard manager, so it outlives Velmora.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &DirectInserter::restorePendingNow);
}

DirectInserter::~DirectInserter()
{
    restorePendingNow();
}

void DirectInserter::insert(const QString& text, std::function<void(InsertResult)> done)
{
    insert(text, std::nullopt, std::move(done));
}

void DirectInserter::insert(const QString& text, std::optional<std::uint32_t> window, std::function<void(InsertResult)> done)
{
    m_queue.push_back({text, window, std::move(done)});
    if (!m_busy)
        startNext();
}

void DirectInserter::startNext()
{
    if (m_queue.empty()) {
        m_busy = false;
        return;
    }
    m_busy = true;
    const Request request = m_queue.front();
    m_queue.pop_front();

    const auto frontmost = m_frontmost();
    const auto process = frontmost && frontmost->processId ? m_process(*frontmost->processId) : std::nullopt;
    const PasteRoute route = routeFor(frontmost, m_extraTerminalClasses, process);
    PasteboardAccess& board = route.usesPrimary ? m_primary : m_clipboard;
    if (m_pending && m_pending->board != &board)
        restorePendingNow(); // the other selection gets its contents back first
    // Still holding our previous paste: what must come back is what was there before it.
    if (m_pending && board.changeCount() == m_pending->changeCount)
        return paste(request, board, route, m_pending->snapshot);
    board.snapshot(this, [this, request, &board, route](std::optional<PasteboardSnapshot> snapshot) {
        if (!snapshot)
            return finish(request, {InsertOutcome::clipboardNotSaved, std::nullopt});
        paste(request, board, route, *snapshot);
    });
}

void DirectInserter::paste(const Request& request, PasteboardAccess& board, const PasteRoute& route,
                           const PasteboardSnapshot& keep)
{
    board.writeTransientText(request.text);
    const qint64 written = board.changeCount();
    // Pending from now, not from when the keys went: a quit in between still gives the
    // user's clipboard back.
    const quint64 generation = ++m_generation;
    m_pending = Pending{&board, keep, written, generation};
    QPointer<DirectInserter> self(this);
    // Between the decision and the keys lie a clipboard read and a wait for held keys:
    // the user may have copied something, or brought another window to the front.
    auto withheld = std::make_shared<std::optional<InsertOutcome>>();
    const auto beforeKeys = [this, self, &board, written, window = request.window, withheld] {
        if (!self)
            return false;
        if (board.changeCount() != written)
            *withheld = InsertOutcome::clipboardChanged;
        else if (const auto front = m_frontmost(); window && (!front || front->window != *window))
            *withheld = InsertOutcome::targetChanged;
        return !withheld->has_value();
    };
    m_paste(route.chord, beforeKeys,
            [this, self, request, generation, withheld](std::optional<platform::KeyInjectionError> error) {
                if (!self)
                    return; // gone while the keys were on their way; its destructor restored what it could
                if (error || *withheld) {
                    // Not pasted: the transcript leaves the clipboard again at once, unless
                    // the user copied something since.
                    restoreIfCurrent(generation);
                    if (*withheld)
                        return finish(request, {**withheld, std::nullopt});
                    qCWarning(logging::activation).noquote() << "paste not sent:" << platform::describe(*error);
                    return finish(request, {InsertOutcome::pasteNotSent, error});
                }
                QTimer::singleShot(m_restoreDelay, this, [this, generation] { restoreIfCurrent(generation); });
                finish(request, {InsertOutcome::inserted, std::nullopt});
            });
}

void DirectInserter::finish(const Request& request, InsertResult result)
{
    if (request.done)
        request.done(result);
    startNext();
}

void DirectInserter::restoreIfCurrent(quint64 generation)
{
    if (m_pending && m_pending->generation == generation)
        restorePendingNow();
}

void DirectInserter::restorePendingNow()
{
    if (!m_pending)
        return;
    const Pending pending = std::move(*m_pending);
    m_pending.reset();
    // Something new was copied since: it stays, and the saved contents go.
    if (pending.board->changeCount() == pending.changeCount)
        pending.board->restore(pending.snapshot);
}

} // namespace velmora

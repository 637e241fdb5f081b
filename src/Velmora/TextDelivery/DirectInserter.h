#pragma once

#include "PasteboardAccess.h"

#include "Platform/FrontmostApplicationSource.h"
#include "Platform/KeyInjector.h"
#include "Platform/ProcessFacts.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

namespace velmora {

// How a paste reaches the window in front.
struct PasteRoute {
    platform::PasteChord chord = platform::PasteChord::controlV;
    bool usesPrimary = false; // xterm pastes PRIMARY with Shift+Insert

    bool operator==(const PasteRoute&) const = default;
};

// targetChanged and clipboardChanged: found right before the keys went, so none were sent.
enum class InsertOutcome { inserted, clipboardNotSaved, pasteNotSent, targetChanged, clipboardChanged };

struct InsertResult {
    InsertOutcome outcome = InsertOutcome::inserted;
    std::optional<platform::KeyInjectionError> keyError; // why the paste was not sent
};

// Pastes a transcript into the window in front through the clipboard, and puts
// back what the user had there 1.5 s later, unless something new was copied in
// between. Inserts run one after another; everything happens on the main thread.
// The two pasteboards must outlive the inserter: it restores through them when it goes.
class DirectInserter : public QObject {
    Q_OBJECT
public:
    // Sends the chord; `beforeKeys` is asked on the main thread right before the keys go.
    using Paster = std::function<void(platform::PasteChord, std::function<bool()> beforeKeys,
                                      std::function<void(std::optional<platform::KeyInjectionError>)>)>;
    using FrontmostLookup = std::function<std::optional<platform::FrontmostApplication>()>;
    using ProcessLookup = std::function<std::optional<platform::ProcessFacts>(qint32 pid)>;

    // Window classes of terminal emulators, compared without case.
    static const QStringList& terminalClasses();
    // A terminal is known by what its process is (a pseudo-terminal master held open,
    // or a terminal's program) where the process is known, else by its window's names.
    static PasteRoute routeFor(const std::optional<platform::FrontmostApplication>& frontmost,
                               const QStringList& extraTerminalClasses = {},
                               const std::optional<platform::ProcessFacts>& process = std::nullopt);

    DirectInserter(PasteboardAccess& clipboard, PasteboardAccess& primary, Paster paste = {},
                   FrontmostLookup frontmost = {}, QStringList extraTerminalClasses = {},
                   std::chrono::milliseconds restoreDelay = std::chrono::milliseconds(1500),
                   ProcessLookup process = {}, QObject* parent = nullptr);
    ~DirectInserter() override;

    void insert(const QString& text, std::function<void(InsertResult)> done = {});
    // Pastes only if `window` is still the one in front when the keys go.
    void insert(const QString& text, std::optional<std::uint32_t> window, std::function<void(InsertResult)> done);
    void restorePendingNow();

    bool hasPendingRestore() const { return m_pending.has_value(); }

    // The paster Velmora uses: XTest on a worker thread, waiting up to half a second
    // for held modifiers.
    static Paster systemPaster();

private:
    struct Request {
        QString text;
        std::optional<std::uint32_t> window;
        std::function<void(InsertResult)> done;
    };
    struct Pending {
        PasteboardAccess* board;
        PasteboardSnapshot snapshot;
        qint64 changeCount;
        quint64 generation;
    };

    void startNext();
    void paste(const Request& request, PasteboardAccess& board, const PasteRoute& route,
               const PasteboardSnapshot& keep);
    void finish(const Request& request, InsertResult result);
    void restoreIfCurrent(quint64 generation);

    PasteboardAccess& m_clipboard;
    PasteboardAccess& m_primary;
    Paster m_paste;
    FrontmostLookup m_frontmost;
    ProcessLookup m_process;
    QStringList m_extraTerminalClasses;
    std::chrono::milliseconds m_restoreDelay;
    std::optional<Pending> m_pending;
    quint64 m_generation = 0;
    std::deque<Request> m_queue;
    bool m_busy = false;
};

} // namespace velmora

#include "X11KeyboardLayoutSource.h"

#include "X11Connection.h"
#include "X11KeyCodes.h"
#include "X11KeyboardWatch.h"
#include "X11Keymap.h"

#include <QTimer>

namespace velmora::platform {

X11KeyboardLayoutSource::X11KeyboardLayoutSource(QObject* parent)
    : KeyboardLayoutSource(parent)
    , m_connection(X11Connection::open())
{
    if (!m_connection || !X11Keymap::setUpExtension(m_connection->get())) {
        m_connection.reset();
        return;
    }
    m_keymap = X11Keymap::load(m_connection->get());
    selectKeyboardChangeEvents(m_connection->get());
    m_connection->setEventHandler([this](const xcb_generic_event_t& event) {
        if (!isKeyboardChangeEvent(m_connection->get(), event) || m_reloadQueued)
            return;
        // One switch sends several notices; read the result once they are all in.
        m_reloadQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_reloadQueued = false;
            reload();
        });
    });
}

X11KeyboardLayoutSource::~X11KeyboardLayoutSource() = default;

void X11KeyboardLayoutSource::reload()
{
    auto keymap = X11Keymap::load(m_connection->get());
    m_connection->drainSoon();
    const bool changed = !keymap || !m_keymap || !keymap->sameAs(*m_keymap);
    m_keymap = std::move(keymap);
    if (changed)
        emit layoutChanged();
}

bool X11KeyboardLayoutSource::hasLayout() const
{
    return m_keymap != nullptr;
}

std::optional<QString> X11KeyboardLayoutSource::typedText(std::uint32_t keyCode, std::uint32_t levelModifiers) const
{
    if (!m_keymap)
        return std::nullopt;
    const auto key = x11KeyCode(keyCode);
    if (!key)
        return std::nullopt;
    return m_keymap->typedText(*key, (levelModifiers & 0x200) != 0, (levelModifiers & 0x800) != 0);
}

} // namespace velmora::platform

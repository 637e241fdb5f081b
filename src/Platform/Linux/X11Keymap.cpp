#include "X11Keymap.h"

#include "X11KeyCodes.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <vector>

namespace velmora::platform {
namespace {

struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using State = std::unique_ptr<xkb_state, StateDeleter>;

} // namespace

bool X11Keymap::setUpExtension(xcb_connection_t* connection)
{
    return xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                       XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)
        == 1;
}

std::unique_ptr<X11Keymap> X11Keymap::load(xcb_connection_t* connection)
{
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0)
        return nullptr;
    xkb_context* context = xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context)
        return nullptr;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        xkb_context_unref(context);
        return nullptr;
    }
    const State state(xkb_x11_state_new_from_device(keymap, connection, device));
    const std::uint32_t group = state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    return std::unique_ptr<X11Keymap>(new X11Keymap(context, keymap, group));
}

X11Keymap::X11Keymap(xkb_context* context, xkb_keymap* keymap, std::uint32_t group)
    : m_context(context)
    , m_keymap(keymap)
    , m_group(group)
{
    // Only an AltGr on a real key position counts: base keymaps often park the
    // level-3 shift on a key no keyboard has, and a character found there could
    // never be typed.
    m_levelThreeMask = maskOfKeyWith(XKB_KEY_ISO_Level3_Shift, false);
    m_numLockMask = maskOfKeyWith(XKB_KEY_Num_Lock, true);
    if (char* text = xkb_keymap_get_as_string(m_keymap, XKB_KEYMAP_FORMAT_TEXT_V1)) {
        m_text = QByteArray(text);
        std::free(text);
    }
}

X11Keymap::~X11Keymap()
{
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
}

std::uint16_t X11Keymap::maskOfKeyWith(std::uint32_t keysym, bool effective) const
{
    for (std::uint32_t classic = 0; classic < 128; ++classic) {
        const auto key = x11KeyCode(classic);
        if (!key)
            continue;
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(m_keymap, *key, m_group, 0, &syms);
        if (count != 1 || syms[0] != keysym)
            continue;
        const State state(xkb_state_new(m_keymap));
        if (!state)
            return 0;
        xkb_state_update_key(state.get(), *key, XKB_KEY_DOWN);
        const auto mods = xkb_state_serialize_mods(
            state.get(), effective ? XKB_STATE_MODS_EFFECTIVE : XKB_STATE_MODS_DEPRESSED);
        return static_cast<std::uint16_t>(mods & 0xff);
    }
    return 0;
}

std::optional<QString> X11Keymap::typedText(std::uint32_t x11KeyCode, bool shift, bool levelThree) const
{
    if (levelThree && m_levelThreeMask == 0)
        return std::nullopt;
    const State state(xkb_state_new(m_keymap));
    if (!state)
        return std::nullopt;
    std::uint32_t mods = levelThree ? m_levelThreeMask : 0;
    if (shift)
        mods |= 1u << xkb_keymap_mod_get_index(m_keymap, XKB_MOD_NAME_SHIFT);
    xkb_state_update_mask(state.get(), mods, 0, 0, 0, 0, m_group);
    char buffer[32];
    const int length = xkb_state_key_get_utf8(state.get(), x11KeyCode, buffer, sizeof buffer);
    if (length <= 0 || length >= static_cast<int>(sizeof buffer))
        return std::nullopt;
    return QString::fromUtf8(buffer, length);
}

std::uint64_t X11Keymap::modifierFlag(std::uint32_t x11KeyCode) const
{
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(m_keymap, x11KeyCode, m_group, 0, &syms);
    for (int i = 0; i < count; ++i) {
        switch (syms[i]) {
        case XKB_KEY_Control_L:
        case XKB_KEY_Control_R:
            return 0x40000;
        case XKB_KEY_Alt_L:
        case XKB_KEY_Alt_R:
        case XKB_KEY_Meta_L:
        case XKB_KEY_Meta_R:
            return 0x80000;
        case XKB_KEY_Shift_L:
        case XKB_KEY_Shift_R:
            return 0x20000;
        case XKB_KEY_Super_L:
        case XKB_KEY_Super_R:
            return 0x100000;
        default:
            break;
        }
    }
    return 0;
}

std::uint32_t X11Keymap::keyCodeTyping(std::uint32_t keysym) const
{
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(m_keymap);
    std::vector<xkb_layout_index_t> order{m_group};
    for (xkb_layout_index_t group = 0; group < groups; ++group) {
        if (group != m_group)
            order.push_back(group);
    }
    for (const auto group : order) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(m_keymap); key <= xkb_keymap_max_keycode(m_keymap); ++key) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(m_keymap, key, group, 0, &syms);
            if (count == 1 && syms[0] == keysym)
                return key;
        }
    }
    return 0;
}

bool X11Keymap::isLevelThreeKey(std::uint32_t x11KeyCode) const
{
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(m_keymap, x11KeyCode, m_group, 0, &syms);
    return count == 1 && (syms[0] == XKB_KEY_ISO_Level3_Shift || syms[0] == XKB_KEY_Mode_switch);
}

bool X11Keymap::sameAs(const X11Keymap& other) const
{
    return m_group == other.m_group && m_text == other.m_text;
}

} // namespace velmora::platform

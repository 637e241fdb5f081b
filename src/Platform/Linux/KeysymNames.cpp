#include "KeysymNames.h"

#include "X11KeyCodes.h"

#include <QHash>

#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace velmora::platform {

std::optional<QString> keysymNameOf(std::uint32_t classicKeyCode)
{
    static const auto names = [] {
        QHash<std::uint32_t, QString> table;
        std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                          &xkb_context_unref);
        if (!context)
            return table;
        std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
            xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
        if (!keymap)
            return table;
        std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap.get()), &xkb_state_unref);
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap.get()); code <= xkb_keymap_max_keycode(keymap.get()); ++code) {
            const xkb_keysym_t symbol = xkb_state_key_get_one_sym(state.get(), code);
            char name[64];
            if (symbol != XKB_KEY_NoSymbol && xkb_keysym_get_name(symbol, name, sizeof name) > 0)
                table.insert(code, QString::fromLatin1(name));
        }
        return table;
    }();
    const auto code = x11KeyCode(classicKeyCode);
    if (!code)
        return std::nullopt;
    const auto found = names.constFind(*code);
    return found == names.cend() ? std::nullopt : std::optional(*found);
}

} // namespace velmora::platform

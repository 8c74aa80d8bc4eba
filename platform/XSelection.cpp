#include "platform/XSelection.h"

#include "core/Pump.h"

#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace tx::clipboard::xselection {
namespace {

// A list of copied files is small; anything past this is not one.
constexpr qsizetype kMaxBytes = qsizetype(16) << 20;

struct Free {
    void operator()(void *p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, Free>;

class Connection {
public:
    explicit Connection(const QByteArray &display)
    {
        int screenNumber = 0;
        c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
        if (xcb_connection_has_error(c))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        // The requestor: a window nobody sees, told of its property changes (INCR).
        window = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, it.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, it.data->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        ok = true;
    }
    ~Connection() { xcb_disconnect(c); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    xcb_atom_t atom(const QByteArray &name)
    {
        Reply<xcb_intern_atom_reply_t> r(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The next event that `match` takes, pumping events until it comes or the
    // deadline passes; nullptr then.
    template <class Match> Reply<xcb_generic_event_t> next(bool &expired, Match match)
    {
        QSocketNotifier readable(xcb_get_file_descriptor(c), QSocketNotifier::Read);
        QObject::connect(&readable, &QSocketNotifier::activated, [] {});
        Reply<xcb_generic_event_t> found;
        pump::until([&] {
            while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
                Reply<xcb_generic_event_t> ev(e);
                if (match(ev.get())) {
                    found = std::move(ev);
                    return true;
                }
            }
            return expired || xcb_connection_has_error(c) != 0;
        });
        return found;
    }

    xcb_connection_t *c = nullptr;
    xcb_window_t window = 0;
    bool ok = false;
};

struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    QByteArray data;
    bool complete = false;
};

// Reads and deletes the property the owner wrote, however many requests it takes.
Property takeProperty(Connection &x, xcb_atom_t property)
{
    Property p;
    uint32_t offset = 0; // in 32-bit units
    for (;;) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            x.c, xcb_get_property(x.c, 0, x.window, property, XCB_GET_PROPERTY_TYPE_ANY, offset, 1 << 16), nullptr));
        if (!r)
            return p;
        p.type = r->type;
        const int length = xcb_get_property_value_length(r.get());
        p.data.append(static_cast<const char *>(xcb_get_property_value(r.get())), length);
        if (p.data.size() > kMaxBytes)
            return p;
        offset += uint32_t(length / 4);
        if (r->bytes_after == 0)
            break;
    }
    xcb_delete_property(x.c, x.window, property);
    xcb_flush(x.c);
    p.complete = true;
    return p;
}

// One conversion of the selection to `target`; empty when refused or unanswered.
std::optional<QByteArray> convert(Connection &x, xcb_atom_t selection, xcb_atom_t target, xcb_atom_t property,
                                  xcb_atom_t incr, bool &expired)
{
    xcb_convert_selection(x.c, x.window, selection, target, property, XCB_CURRENT_TIME);
    xcb_flush(x.c);
    const auto notify = x.next(expired, [&](xcb_generic_event_t *e) {
        if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        const auto *n = reinterpret_cast<xcb_selection_notify_event_t *>(e);
        return n->requestor == x.window && n->selection == selection && n->target == target;
    });
    if (!notify || reinterpret_cast<xcb_selection_notify_event_t *>(notify.get())->property == XCB_ATOM_NONE)
        return std::nullopt;
    Property p = takeProperty(x, property);
    if (!p.complete)
        return std::nullopt;
    if (p.type != incr)
        return p.data;
    // Sent in pieces: each new value of the property is the next piece, an empty
    // one the end.
    QByteArray all;
    for (;;) {
        const auto changed = x.next(expired, [&](xcb_generic_event_t *e) {
            if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto *n = reinterpret_cast<xcb_property_notify_event_t *>(e);
            return n->window == x.window && n->atom == property && n->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!changed)
            return std::nullopt;
        Property piece = takeProperty(x, property);
        if (!piece.complete || all.size() + piece.data.size() > kMaxBytes)
            return std::nullopt;
        if (piece.data.isEmpty())
            return all;
        all += piece.data;
    }
}

} // namespace

QList<QPair<QString, QByteArray>> read(const QStringList &wanted, int ms, const QByteArray &display)
{
    QList<QPair<QString, QByteArray>> out;
    Connection x(display);
    if (!x.ok)
        return out;
    const xcb_atom_t selection = x.atom("CLIPBOARD");
    const xcb_atom_t targets = x.atom("TARGETS");
    const xcb_atom_t incr = x.atom("INCR");
    const xcb_atom_t property = x.atom("TESSARIX_SELECTION");
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(x.c, xcb_get_selection_owner(x.c, selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE)
        return out;

    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    deadline.start(ms);

    const std::optional<QByteArray> offered = convert(x, selection, targets, property, incr, expired);
    if (!offered)
        return out;
    const auto *atoms = reinterpret_cast<const xcb_atom_t *>(offered->constData());
    const qsizetype count = offered->size() / qsizetype(sizeof(xcb_atom_t));
    for (const QString &format : wanted) {
        const xcb_atom_t target = x.atom(format.toLatin1());
        if (target == XCB_ATOM_NONE || std::find(atoms, atoms + count, target) == atoms + count)
            continue;
        if (const std::optional<QByteArray> data = convert(x, selection, target, property, incr, expired))
            out.append({format, *data});
        if (expired)
            break;
    }
    return out;
}

} // namespace tx::clipboard::xselection

#include "support/XWindows.h"

#include <QByteArray>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> Owned<Reply> Own(Reply* reply)
{
    return Owned<Reply>(reply, &std::free);
}

} // namespace

CXWindows::CXWindows(const std::string& display)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.c_str(), &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_pConnection = connection;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    m_root = it.data ? it.data->root : 0;
}

CXWindows::~CXWindows()
{
    if (m_pConnection)
        xcb_disconnect(m_pConnection);
}

xcb_atom_t CXWindows::Atom(const char* name) const
{
    if (!m_pConnection)
        return XCB_ATOM_NONE;
    const auto reply = Own(xcb_intern_atom_reply(m_pConnection,
        xcb_intern_atom(m_pConnection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray CXWindows::Property(xcb_window_t window, xcb_atom_t property) const
{
    const auto reply = Own(xcb_get_property_reply(m_pConnection,
        xcb_get_property(m_pConnection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
        xcb_get_property_value_length(reply.get()));
}

std::vector<xcb_window_t> CXWindows::AllWindows() const
{
    std::vector<xcb_window_t> windows;
    if (!m_pConnection)
        return windows;
    std::vector<xcb_window_t> level { m_root };
    while (!level.empty()) {
        // One round trip a level of the tree: every request first, then every reply.
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (xcb_window_t w : level)
            cookies.push_back(xcb_query_tree(m_pConnection, w));
        std::vector<xcb_window_t> next;
        for (xcb_query_tree_cookie_t cookie : cookies) {
            const auto tree = Own(xcb_query_tree_reply(m_pConnection, cookie, nullptr));
            if (!tree)
                continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            next.insert(
                next.end(), children, children + xcb_query_tree_children_length(tree.get()));
        }
        windows.insert(windows.end(), next.begin(), next.end());
        level = std::move(next);
    }
    return windows;
}

XWindowInfo CXWindows::Describe(qulonglong id) const
{
    XWindowInfo info;
    if (!m_pConnection)
        return info;
    const xcb_window_t w = xcb_window_t(id);
    const auto attributes = Own(xcb_get_window_attributes_reply(
        m_pConnection, xcb_get_window_attributes(m_pConnection, w), nullptr));
    const auto geometry
        = Own(xcb_get_geometry_reply(m_pConnection, xcb_get_geometry(m_pConnection, w), nullptr));
    const auto tree
        = Own(xcb_query_tree_reply(m_pConnection, xcb_query_tree(m_pConnection, w), nullptr));
    const auto origin = Own(xcb_translate_coordinates_reply(
        m_pConnection, xcb_translate_coordinates(m_pConnection, w, m_root, 0, 0), nullptr));
    if (!attributes || !geometry || !tree || !origin)
        return info;
    info.id = id;
    info.mapped = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    info.overrideRedirect = attributes->override_redirect != 0;
    info.parent = tree->parent == m_root ? 0 : tree->parent;
    info.geometry = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    QByteArray name = Property(w, Atom("_NET_WM_NAME"));
    if (name.isEmpty())
        name = Property(w, XCB_ATOM_WM_NAME);
    info.name = QString::fromUtf8(name);
    return info;
}

std::vector<QByteArray> CXWindows::PropertyOfAll(
    const std::vector<xcb_window_t>& windows, xcb_atom_t property) const
{
    // Every request first, then every reply: one round trip for all the windows.
    std::vector<xcb_get_property_cookie_t> cookies;
    for (xcb_window_t w : windows)
        cookies.push_back(
            xcb_get_property(m_pConnection, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 64));
    std::vector<QByteArray> values;
    for (xcb_get_property_cookie_t cookie : cookies) {
        const auto reply = Own(xcb_get_property_reply(m_pConnection, cookie, nullptr));
        values.push_back(reply
                ? QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()))
                : QByteArray());
    }
    return values;
}

std::vector<qulonglong> CXWindows::OwnedBy(qint64 pid) const
{
    std::vector<qulonglong> owned;
    const std::vector<xcb_window_t> windows = AllWindows();
    const std::vector<QByteArray> pids = PropertyOfAll(windows, Atom("_NET_WM_PID"));
    for (size_t i = 0; i < windows.size(); ++i)
        if (pids[i].size() == 4 && qFromUnaligned<quint32>(pids[i].constData()) == pid)
            owned.push_back(windows[i]);
    return owned;
}

std::optional<qulonglong> CXWindows::WithClass(const QString& instance) const
{
    const std::vector<xcb_window_t> windows = AllWindows();
    const std::vector<QByteArray> classes = PropertyOfAll(windows, XCB_ATOM_WM_CLASS);
    for (size_t i = 0; i < windows.size(); ++i)
        // WM_CLASS is the instance and the class, each ended by a NUL.
        if (QByteArray(classes[i].constData()) == instance.toLatin1())
            return windows[i];
    return std::nullopt;
}

std::vector<quint32> CXWindows::Values(qulonglong id, const char* property) const
{
    std::vector<quint32> values;
    if (!m_pConnection)
        return values;
    const QByteArray bytes = Property(id ? xcb_window_t(id) : m_root, Atom(property));
    values.resize(size_t(bytes.size()) / sizeof(quint32));
    if (!values.empty())
        std::memcpy(values.data(), bytes.constData(), values.size() * sizeof(quint32));
    return values;
}

bool CXWindows::ListsAtom(qulonglong id, const char* property, const char* value) const
{
    const std::vector<quint32> atoms = Values(id, property);
    return !atoms.empty() && std::find(atoms.begin(), atoms.end(), Atom(value)) != atoms.end();
}

xcb_window_t CXWindows::Parent(xcb_window_t window) const
{
    const auto tree
        = Own(xcb_query_tree_reply(m_pConnection, xcb_query_tree(m_pConnection, window), nullptr));
    return tree ? tree->parent : xcb_window_t(XCB_NONE);
}

bool CXWindows::HasFocus(qulonglong id) const
{
    if (!m_pConnection)
        return false;
    const auto focus = Own(
        xcb_get_input_focus_reply(m_pConnection, xcb_get_input_focus(m_pConnection), nullptr));
    for (xcb_window_t w = focus ? focus->focus : XCB_NONE; w != XCB_NONE && w != m_root;
         w = Parent(w))
        if (w == id)
            return true;
    return false;
}

bool CXWindows::Above(qulonglong upper, qulonglong lower) const
{
    if (!m_pConnection)
        return false;
    // The root's children come first, bottom first.
    const std::vector<xcb_window_t> stack = AllWindows();
    const auto level = [&](qulonglong id) {
        xcb_window_t w = xcb_window_t(id);
        for (xcb_window_t parent; w != XCB_NONE && (parent = Parent(w)) != m_root;)
            w = parent;
        return std::find(stack.begin(), stack.end(), w) - stack.begin();
    };
    const auto upperLevel = level(upper), lowerLevel = level(lower);
    return upperLevel < qsizetype(stack.size()) && lowerLevel < upperLevel;
}

qulonglong CXWindows::SelectionOwner(const char* selection) const
{
    if (!m_pConnection)
        return 0;
    const auto reply = Own(xcb_get_selection_owner_reply(
        m_pConnection, xcb_get_selection_owner(m_pConnection, Atom(selection)), nullptr));
    return reply ? reply->owner : 0;
}

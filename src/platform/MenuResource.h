#pragma once

#include <QString>

#include <vector>

// One entry of a menu resource: a command with its text, or a separator (id 0, no text).
struct MenuItem {
    int id = 0;
    QString text;
    bool separator = false;
};

// A menu resource as plain data: the title of its one popup and the popup's entries in
// order. A menu that does not exist has no entries; callers build widgets from it fresh
// each time, so deleting an item never touches the resource itself.
struct MenuResource {
    QString title;
    std::vector<MenuItem> items;

    bool IsNull() const { return items.empty(); }
};

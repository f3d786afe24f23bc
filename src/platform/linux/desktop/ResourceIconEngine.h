#pragma once

#include <QIconEngine>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <vector>

// An icon drawn at several sizes, one PNG file each, decoded the first time its size is asked
// for. The program icon alone is eight files up to 256 px, and start-up shows one or two of
// them at most; every size counts as available from the start.
//
// Sizes up to kKeptSize are kept once decoded: the tray asks for its icons again and again.
// Larger ones are asked for once, when a window is given its icon (the window manager gets
// every size), and are decoded again should they be asked for again rather than held for
// the program's lifetime: the 128 and 256 px drawings alone take 320 KB decoded.
//
// A size that is not drawn is served by the smallest larger drawing scaled down, else by the
// largest one. Every mode and state shows the same images. A caller's own pixmaps can be
// added to a copy, as to any icon.
class CResourceIconEngine : public QIconEngine {
public:
    struct Entry {
        QSize size;
        QString path; // empty for a pixmap added by a caller
        QPixmap pixmap; // null until decoded
    };

    static constexpr int kKeptSize = 64;

    explicit CResourceIconEngine(std::vector<Entry> entries);

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;
    bool isNull() override;

private:
    Entry* BestFor(const QSize& size);

    std::vector<Entry> m_entries;
};

#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

// Reading the traffic window off a screenshot: the skin around the panes, the graphs on
// them, their scale texts and the height of their lines.
class CProgramScreen {
public:
    // Where the graphs sit on the window, and their size.
    static const QRect kReceivedPane;
    static const QRect kSentPane;
    static const QColor kDots;
    static const QColor kReceivedLine;
    static const QColor kSentLine;

    // Empty when the window image shows the skin unchanged outside the panes and, on both
    // panes, the black dotted graphs with a flat line on their bottom row; otherwise what
    // differs first.
    static QString CheckSkinAndFlatGraphs(const QImage& window);

    // The pixels of each graph's full-scale text (top right of the pane), as a mask.
    struct ScaleTexts {
        QByteArray received;
        QByteArray sent;
        bool Drawn() const;
        bool operator==(const ScaleTexts&) const = default;
    };
    static ScaleTexts ReadScaleTexts(const QImage& window);

    // For each column of the pane from first to last: the row (inside the pane) of the line
    // drawn in `line`, or -1 where the column has none. Where the line runs up or down within
    // a column, the middle of its pixels there.
    static std::vector<int> LineRows(const QImage& window, const QRect& pane, const QColor& line,
        int nFirstColumn, int nLastColumn);
    // The median of the rows that are not -1; -1 when there is none.
    static int Median(std::vector<int> rows);
};

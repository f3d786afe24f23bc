#pragma once

#include "dialogs/LinkOpener.h"
#include "display/ColorRef.h"
#include "display/LabelFont.h"

#include <QString>
#include <QWidget>

class IDesktopShell;

// A static text of a dialog that paints itself: one line in its own font over whatever its
// parent shows behind it. Given a link address it becomes a link: blue, underlined, a hand
// pointer over it, and a click opens the address.
class CLinkLabel : public QWidget {
public:
    CLinkLabel(IProcessLauncher& launcher, IDataFiles& files, IDesktopShell& shell);
    ~CLinkLabel() override;

    // Takes the place of the parent's static control at rect with its window text; the
    // label's font becomes a copy of the window's font (the dialog's).
    void SubclassDlgItem(QWidget* pParent, const QRect& rect, const QString& strWindowText);

    QString GetText();
    // Trimmed; a non-empty address underlines the text, an empty one makes it plain again.
    void SetLink(const QString& strLink);
    void SetFontSize(int nPoints);
    void SetFontBold(bool bBold);
    void SetFontUnderline(bool bUnderline);
    void Redraw();
    void OpenLink();
    void LoadHandCursor();

    bool IsLink() const { return !m_strLink.isEmpty(); }
    const QString& Link() const { return m_strLink; }
    QColor CurrentTextColor() const;

    CLabelFont m_font;
    bool m_bFontFromWindow = false;
    QString m_strText;
    QString m_strLink;
    ColorRef m_crText; // plain labels: the button-text colour
    ColorRef m_crLink = MakeColorRef(0, 0, 255); // links: blue

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    void OnSetCursor();

    CLinkOpener m_opener;
    IDesktopShell& m_shell;
    QString m_strWindowText;
};

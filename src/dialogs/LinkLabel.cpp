#include "dialogs/LinkLabel.h"

#include "display/OffscreenDC.h"
#include "platform/IDesktopShell.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

ColorRef FromQColor(const QColor& c)
{
    return MakeColorRef(c.red(), c.green(), c.blue());
}

} // namespace

CLinkLabel::CLinkLabel(IProcessLauncher& launcher, IDataFiles& files, IDesktopShell& shell)
    : m_crText(FromQColor(QPalette().color(QPalette::ButtonText)))
    , m_opener(launcher, files)
    , m_shell(shell)
{
    m_font.SetCharSet(LogFontValues::kDefaultCharSet);
    // The label paints every pixel itself, over a copy of its parent's background.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

CLinkLabel::~CLinkLabel() = default;

void CLinkLabel::SubclassDlgItem(QWidget* pParent, const QRect& rect, const QString& strWindowText)
{
    setParent(pParent);
    setGeometry(rect);
    m_strWindowText = strWindowText;
    setAccessibleName(strWindowText);
    if (pParent) {
        // A dialog control draws in its dialog's font.
        m_font.SetFromFont(pParent->font());
        m_bFontFromWindow = true;
    }
    show();
}

QString CLinkLabel::GetText()
{
    if (m_strText.isEmpty())
        m_strText = m_strWindowText;
    return m_strText;
}

void CLinkLabel::SetLink(const QString& strLink)
{
    m_strLink = strLink.trimmed();
    SetFontUnderline(!m_strLink.isEmpty());
    OnSetCursor();
}

void CLinkLabel::SetFontSize(int nPoints)
{
    m_font.SetPointSize(nPoints);
    Redraw();
}

void CLinkLabel::SetFontBold(bool bBold)
{
    m_font.SetBold(bBold);
    Redraw();
}

void CLinkLabel::SetFontUnderline(bool bUnderline)
{
    m_font.SetUnderline(bUnderline ? 1 : 0);
    Redraw();
}

void CLinkLabel::Redraw()
{
    // The parent first puts a clean background under the label, which the label then copies.
    if (QWidget* parent = parentWidget())
        parent->update(geometry());
    update();
}

QColor CLinkLabel::CurrentTextColor() const
{
    return ToQColor(IsLink() ? m_crLink : m_crText);
}

void CLinkLabel::paintEvent(QPaintEvent*)
{
    if (!m_bFontFromWindow && parentWidget()) {
        m_font.SetFromFont(parentWidget()->font());
        m_bFontFromWindow = true;
    }
    QPainter target(this);
    COffscreenDC dc(target, rect());
    QPainter& p = dc.Painter();
    if (m_strText.isEmpty())
        m_strText = GetText();

    // No background of its own: the label stands on its dialog's background.
    if (QWidget* parent = parentWidget()) {
        p.fillRect(rect(), parent->palette().color(parent->backgroundRole()));
    } else {
        p.fillRect(rect(), palette().color(QPalette::Window));
    }

    p.setFont(m_font.Font());
    const QFontMetrics metrics(m_font.Font(), this);
    const int x = 2;
    const int y = height() / 2 - metrics.height() / 2;
    p.setPen(CurrentTextColor());
    p.setBackgroundMode(Qt::TransparentMode);
    // One line, no prefix or tab processing; text wider than the label is cut at its edge.
    p.drawText(x, y + metrics.ascent(), m_strText);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // Only a release over the link opens it: pressing and sliding off is how users back out.
    if (event->button() == Qt::LeftButton && IsLink()
        && rect().contains(event->position().toPoint()))
        OpenLink();
    QWidget::mouseReleaseEvent(event);
}

// Mouse moves need nothing: the pointer shape is set on entering.
void CLinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLinkLabel::enterEvent(QEnterEvent* event)
{
    OnSetCursor();
    QWidget::enterEvent(event);
}

void CLinkLabel::OnSetCursor()
{
    if (IsLink())
        LoadHandCursor();
    else
        unsetCursor();
}

void CLinkLabel::LoadHandCursor()
{
    setCursor(Qt::PointingHandCursor);
}

void CLinkLabel::OpenLink()
{
    if (m_strLink.isEmpty())
        return;
    // Opening may take seconds (xdg-open waits on the browser): the answer comes later, and
    // the graphs and menus go on meanwhile.
    m_opener.ShellOpenAsync(m_strLink, this, [this](int nResult) {
        if (nResult > 32)
            update();
        else
            m_shell.MessageBeep();
    });
}

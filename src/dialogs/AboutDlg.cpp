#include "dialogs/AboutDlg.h"

#include "ResourceIds.h"
#include "core/IApplication.h"
#include "display/DialogUnits.h"
#include "platform/IResources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(IApplication& app, QWidget* pParent)
    : QDialog(pParent,
        Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint)
    , m_labelLink(app.Services().launcher, app.Services().files, app.Services().shell)
    , m_labelVersion(app.Services().launcher, app.Services().files, app.Services().shell)
    , m_labelNotice(app.Services().launcher, app.Services().files, app.Services().shell)
    , m_app(app)
{
}

CAboutDlg::~CAboutDlg() = default;

bool CAboutDlg::Create()
{
    if (m_bCreated)
        return true;
    m_bCreated = true;
    setWindowTitle(QStringLiteral("About Corvane"));
    setFixedSize(CDialogUnits::X(206), CDialogUnits::Y(99));
    setFont(CDialogUnits::DialogFont());

    m_pIcon = new QLabel(this);
    m_pIcon->setGeometry(CDialogUnits::Rect(7, 7, 20, 20));
    m_pIcon->setPixmap(m_app.Services().resources.LoadIcon(IDR_MAINFRAME).pixmap(32, 32));

    m_labelVersion.SubclassDlgItem(
        this, CDialogUnits::Rect(40, 10, 159, 13), QString::fromUtf8(kVersionText));
    m_labelNotice.SubclassDlgItem(
        this, CDialogUnits::Rect(40, 28, 159, 8), QString::fromUtf8(kNotice));
    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setGeometry(CDialogUnits::Rect(78, 78, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    m_labelLink.SubclassDlgItem(
        this, CDialogUnits::Rect(41, 41, 158, 8), QString::fromUtf8(kMakerAddress));
    OnInitDialog();
    return true;
}

void CAboutDlg::OnInitDialog()
{
    // The maker's label links to the address it shows.
    m_labelLink.SetLink(m_labelLink.GetText());
    m_labelVersion.SetFontBold(true);
    m_labelVersion.SetFontSize(14);
    // Topmost comes with the window flags.
    m_pOk->setFocus();
}

void CAboutDlg::ShowWithoutFocus()
{
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    show();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
}

#include "dialogs/SettingsDlg.h"

#include "ResourceIds.h"
#include "core/IApplication.h"
#include "display/DialogUnits.h"
#include "display/TrafficWnd.h"
#include "display/WindowAlpha.h"
#include "traffic/InterfaceCounter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <array>

namespace {

constexpr std::array<int, 8> kScales
    = { 5120, 10240, 20480, 51200, 102400, 307200, 512000, 1024000 };
constexpr std::array<const char*, 8> kScaleTexts = { "5 KB/s", "10 KB/s", "20 KB/s", "50 KB/s",
    "100 KB/s", "300 KB/s", "500 KB/s", "1000 KB/s" };
// What the list controls answer for "nothing selected", and the scale of such a position.
constexpr int kNoSelection = -1;
constexpr int kScaleOfNoPosition = 20;

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect, bool right = false)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QSlider* MakeSlider(QWidget* parent, const QRect& rect)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setGeometry(rect);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setRange(0, 255);
    slider->setPageStep(51);
    return slider;
}

} // namespace

CSettingsDlg::CSettingsDlg(IApplication& app, QWidget* pParent)
    : QDialog(pParent,
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
            | Qt::WindowMinimizeButtonHint)
    , m_labelSponsor(app.Services().launcher, app.Services().files, app.Services().shell)
    , m_app(app)
{
}

CSettingsDlg::~CSettingsDlg() = default;

int CSettingsDlg::ScaleFromIndex(int nIndex)
{
    if (nIndex < 0 || size_t(nIndex) >= kScales.size())
        return kScaleOfNoPosition;
    return kScales[size_t(nIndex)];
}

int CSettingsDlg::IndexFromScale(int nScale)
{
    for (size_t i = 0; i < kScales.size(); ++i)
        if (kScales[i] >= nScale)
            return int(i);
    return kScaleOfNoPosition;
}

bool CSettingsDlg::Create()
{
    if (m_bCreated)
        return true;
    m_bCreated = true;
    setWindowTitle(QStringLiteral("Settings"));
    setFont(CDialogUnits::DialogFont());
    setFixedSize(CDialogUnits::X(240), CDialogUnits::Y(164));

    // Controls in the template's tab order.
    m_labelDevice = MakeLabel(this, QStringLiteral("Static"), CDialogUnits::Rect(7, 7, 55, 8));
    m_listDevices = new QComboBox(this);
    m_listDevices->setGeometry(CDialogUnits::Rect(7, 17, 226, 12));
    m_listScale = new QComboBox(this);
    m_listScale->setGeometry(CDialogUnits::Rect(7, 45, 66, 12));
    for (const char* text : kScaleTexts)
        m_listScale->addItem(QString::fromLatin1(text));
    MakeLabel(this, QStringLiteral("Scale"), CDialogUnits::Rect(7, 36, 57, 8));
    m_buttonOk = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOk->setGeometry(CDialogUnits::Rect(183, 143, 50, 14));
    // Not the default button: Enter does nothing.
    m_buttonOk->setAutoDefault(false);
    m_buttonOk->setDefault(false);
    m_checkTransparency = new QCheckBox(QStringLiteral("Enable transparency"), this);
    m_checkTransparency->setGeometry(CDialogUnits::Rect(7, 79, 226, 10));
    m_sliderFocused = MakeSlider(this, CDialogUnits::Rect(63, 93, 100, 13));
    m_sliderUnfocused = MakeSlider(this, CDialogUnits::Rect(63, 109, 100, 13));
    m_labelFocused
        = MakeLabel(this, QStringLiteral("Focused"), CDialogUnits::Rect(7, 93, 56, 8), true);
    m_labelUnfocused
        = MakeLabel(this, QStringLiteral("Not focused"), CDialogUnits::Rect(7, 110, 56, 8), true);
    m_labelValueFocused
        = MakeLabel(this, QStringLiteral("255"), CDialogUnits::Rect(168, 93, 32, 8));
    m_labelValueUnfocused
        = MakeLabel(this, QStringLiteral("255"), CDialogUnits::Rect(168, 110, 32, 8));
    m_checkMirror = new QCheckBox(QStringLiteral("Mirror mode"), this);
    m_checkMirror->setGeometry(CDialogUnits::Rect(7, 65, 226, 10));
    m_labelSponsorCaption
        = MakeLabel(this, QStringLiteral("Sponsored by"), CDialogUnits::Rect(7, 149, 43, 8));
    // A face wider than the template's may need the room up to the link beside it.
    const int room = CDialogUnits::X(54) - CDialogUnits::X(7) - 2;
    const int needed
        = m_labelSponsorCaption->fontMetrics().horizontalAdvance(m_labelSponsorCaption->text());
    if (needed > m_labelSponsorCaption->width())
        m_labelSponsorCaption->resize(std::min(needed, room), m_labelSponsorCaption->height());
    m_labelSponsor.SubclassDlgItem(
        this, CDialogUnits::Rect(54, 149, 43, 8), QString::fromUtf8(kSponsorName));

    connect(m_buttonOk, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_checkTransparency, &QCheckBox::clicked, this, [this] { OnTransparencyClicked(); });
    connect(m_checkMirror, &QCheckBox::clicked, this, [this] { OnMirrorClicked(); });
    connect(m_listDevices, &QComboBox::activated, this, [this] { OnDeviceSelChange(); });
    connect(m_listScale, &QComboBox::activated, this, [this] { OnScaleSelChange(); });
    for (QSlider* slider : { m_sliderFocused, m_sliderUnfocused }) {
        // Each slider action reports its own code, and every keyboard or mouse action ends
        // with an end-of-scroll notification, as a trackbar does.
        connect(slider, &QSlider::actionTriggered, this, [this, slider](int action) {
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                OnHScroll(SB_LINEDOWN, slider);
                break;
            case QAbstractSlider::SliderSingleStepSub:
                OnHScroll(SB_LINEUP, slider);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                OnHScroll(SB_PAGEDOWN, slider);
                break;
            case QAbstractSlider::SliderPageStepSub:
                OnHScroll(SB_PAGEUP, slider);
                break;
            case QAbstractSlider::SliderToMinimum:
                OnHScroll(SB_TOP, slider);
                break;
            case QAbstractSlider::SliderToMaximum:
                OnHScroll(SB_BOTTOM, slider);
                break;
            case QAbstractSlider::SliderMove:
                OnHScroll(SB_THUMBTRACK, slider);
                return; // a drag ends when the thumb is released
            default:
                return;
            }
            QTimer::singleShot(0, this, [this, slider] { OnHScroll(SB_ENDSCROLL, slider); });
        });
        connect(slider, &QSlider::sliderReleased, this, [this, slider] {
            OnHScroll(SB_THUMBPOSITION, slider);
            OnHScroll(SB_ENDSCROLL, slider);
        });
    }
    OnInitDialog();
    return true;
}

void CSettingsDlg::OnInitDialog()
{
    m_labelSponsor.SetLink(QString::fromUtf8(kSponsorAddress));
}

void CSettingsDlg::UpdateData(bool bSaveAndValidate)
{
    if (bSaveAndValidate) {
        m_bTransparencyCheck = m_checkTransparency->isChecked() ? 1 : 0;
        m_bMirrorCheck = m_checkMirror->isChecked() ? 1 : 0;
    } else {
        m_checkTransparency->setChecked(m_bTransparencyCheck != 0);
        m_checkMirror->setChecked(m_bMirrorCheck != 0);
    }
}

void CSettingsDlg::ShowSettings()
{
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    // Refilled while shown, the dialog keeps what close is to put back.
    if (!isVisible())
        m_strDeviceAtShow = ReadDeviceName();
    m_listDevices->clear();
    {
        // A fresh listing each time, so interfaces added since start-up are offered.
        CInterfaceCounter counter(m_app.Services().perf);
        const int last = counter.GetLastIndex();
        for (int i = 0; i <= last; ++i) {
            std::string name;
            counter.GetName(name, i);
            const QString text = QString::fromStdString(name);
            // The list keeps its entries sorted, ignoring case.
            int pos = 0;
            while (pos < m_listDevices->count()
                && QString::compare(m_listDevices->itemText(pos), text, Qt::CaseInsensitive) <= 0)
                ++pos;
            m_listDevices->insertItem(pos, text, i);
        }
    }
    // The entry of the interface the graphs read, by name: positions move as interfaces come
    // and go. None while it is absent.
    m_listDevices->setCurrentIndex(m_listDevices->findText(ReadDeviceName(), Qt::MatchExactly));
    const GraphSettings stored = m_app.GetGraphSettings();
    const int scaleIndex = IndexFromScale(stored.nGraphicScale);
    m_listScale->setCurrentIndex(scaleIndex < m_listScale->count() ? scaleIndex : kNoSelection);

    m_bMirrorCheck = stored.bMirrorMode ? 1 : 0;
    m_bTransparencyCheck = wnd.m_bTransparent ? 1 : 0;

    m_sliderUnfocused->setRange(0, 255);
    m_sliderFocused->setRange(0, 255);
    // The window takes the low byte of a stored alpha: show that, so OK keeps what is in force.
    m_sliderFocused->setValue(wnd.m_nAlphaFocused & 0xFF);
    m_sliderUnfocused->setValue(wnd.m_nAlphaUnfocused & 0xFF);
    UpdateAlphaLabels();

    // The value labels keep whatever state the checkbox last gave them.
    EnableAlphaControls(m_bTransparencyCheck != 0, false);
    UpdateData(false);

    // The first showing centres the dialog on the screen (its owner is never shown); after
    // that it appears where it last was.
    if (!m_bShownBefore) {
        m_bShownBefore = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
    // The keyboard focus goes to the first control, as in any dialog.
    m_listDevices->setFocus();
}

void CSettingsDlg::UpdateAlphaLabels()
{
    m_labelValueFocused->setText(QString::number(m_sliderFocused->sliderPosition()));
    m_labelValueUnfocused->setText(QString::number(m_sliderUnfocused->sliderPosition()));
}

void CSettingsDlg::EnableAlphaControls(bool bEnable, bool bValueLabels)
{
    m_sliderFocused->setEnabled(bEnable);
    m_sliderUnfocused->setEnabled(bEnable);
    m_labelFocused->setEnabled(bEnable);
    m_labelUnfocused->setEnabled(bEnable);
    if (bValueLabels) {
        m_labelValueFocused->setEnabled(bEnable);
        m_labelValueUnfocused->setEnabled(bEnable);
    }
}

void CSettingsDlg::OnHScroll(int nSBCode, QSlider* pSlider)
{
    // Page moves, dragging and the end of a scroll preview the alpha; the rest are left to the
    // end-of-scroll that follows them.
    if (nSBCode != SB_PAGEUP && nSBCode != SB_PAGEDOWN && nSBCode != SB_THUMBTRACK
        && nSBCode != SB_ENDSCROLL)
        return;
    if (pSlider != m_sliderFocused && pSlider != m_sliderUnfocused)
        return;
    m_app.Alpha().SetWindowAlpha(m_app.TrafficWnd(), pSlider->sliderPosition());
    UpdateAlphaLabels();
}

void CSettingsDlg::FocusTrafficWnd()
{
    CTrafficWnd* wnd = m_app.TrafficWnd();
    wnd->activateWindow();
    wnd->setFocus();
    // The focus handler puts the focused alpha back even where the window system sends no
    // activation (the window may already be active).
    wnd->OnSetFocus();
}

void CSettingsDlg::OnTransparencyClicked()
{
    UpdateData(true);
    EnableAlphaControls(m_bTransparencyCheck != 0, true);
    CTrafficWnd* wnd = m_app.TrafficWnd();
    if (m_bTransparencyCheck) {
        // Preview only: the keyboard focus stays in the dialog, with the checkbox.
        m_app.Alpha().SetWindowAlpha(wnd, wnd->m_nAlphaFocused & 0xFF);
    } else {
        m_app.Alpha().RemoveLayeredStyle(wnd);
    }
}

void CSettingsDlg::OnMirrorClicked()
{
    UpdateData(true);
    ApplyMirror(m_bMirrorCheck != 0);
}

int CSettingsDlg::SelectedDevice() const
{
    const int index = m_listDevices->currentIndex();
    if (index < 0)
        return kNoSelection;
    return m_listDevices->itemData(index).toInt();
}

QString CSettingsDlg::SelectedDeviceName() const
{
    const int index = m_listDevices->currentIndex();
    return index < 0 ? QString() : m_listDevices->itemText(index);
}

QString CSettingsDlg::ReadDeviceName() const
{
    return QString::fromStdString(m_app.TrafficWnd()->m_meter.Name());
}

int CSettingsDlg::SelectedScale() const
{
    // With nothing selected the stored scale stays: a full scale of 20 bytes would silently
    // replace the user's choice.
    const int index = m_listScale->currentIndex();
    if (index < 0)
        return m_app.GetGraphSettings().nGraphicScale;
    return ScaleFromIndex(index);
}

void CSettingsDlg::ApplyDevice(const QString& strName, int nDevice)
{
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    wnd.ApplyGraphSettings(strName.toStdString(), nDevice, wnd.m_graphSent.m_nFullScale,
        wnd.m_graphSent.m_bMirror != 0);
}

void CSettingsDlg::ApplyScale(int nScale)
{
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    wnd.ApplyGraphSettings(
        wnd.m_meter.Name(), wnd.m_graphSent.m_nDevice, nScale, wnd.m_graphSent.m_bMirror != 0);
}

void CSettingsDlg::ApplyMirror(bool bMirror)
{
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    wnd.ApplyGraphSettings(
        wnd.m_meter.Name(), wnd.m_graphSent.m_nDevice, wnd.m_graphSent.m_nFullScale, bMirror);
}

void CSettingsDlg::OnDeviceSelChange()
{
    UpdateData(true);
    const QString name = SelectedDeviceName();
    if (!name.isEmpty() && name != ReadDeviceName())
        ApplyDevice(name, SelectedDevice());
}

void CSettingsDlg::OnScaleSelChange()
{
    UpdateData(true);
    const int scale = SelectedScale();
    if (scale != m_app.TrafficWnd()->m_graphSent.m_nFullScale)
        ApplyScale(scale);
}

void CSettingsDlg::OnOK()
{
    UpdateData(true);
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    GraphSettings settings = m_app.GetGraphSettings();
    const QString name = SelectedDeviceName();
    const int scale = SelectedScale();
    if (scale != settings.nGraphicScale) {
        settings.nGraphicScale = scale;
        ApplyScale(scale);
    }
    // Without a selection (the interface is absent, or none is listed) the choice stays:
    // storing -1 would lose the interface the user picked.
    if (!name.isEmpty()) {
        settings.nNetworkDevice = SelectedDevice();
        settings.strNetworkDeviceName = name;
        if (name != ReadDeviceName())
            ApplyDevice(name, settings.nNetworkDevice);
    }
    wnd.m_bTransparent = m_bTransparencyCheck != 0;
    wnd.m_nAlphaFocused = m_sliderFocused->sliderPosition();
    wnd.m_nAlphaUnfocused = m_sliderUnfocused->sliderPosition();
    settings.bMirrorMode = m_bMirrorCheck != 0;
    ApplyMirror(settings.bMirrorMode);
    m_app.SaveGraphSettings(settings);
    hide();
    if (m_bTransparencyCheck) {
        m_app.Alpha().SetWindowAlpha(&wnd, wnd.m_nAlphaFocused);
        FocusTrafficWnd();
    } else if (m_app.Alpha().IsLayered(&wnd)) {
        m_app.Alpha().RemoveLayeredStyle(&wnd);
    }
}

void CSettingsDlg::OnClose()
{
    UpdateData(true);
    hide();
    CTrafficWnd& wnd = *m_app.TrafficWnd();
    FocusTrafficWnd();
    const int scale = SelectedScale();
    const GraphSettings stored = m_app.GetGraphSettings();
    if (ReadDeviceName() != m_strDeviceAtShow)
        ApplyDevice(m_strDeviceAtShow, stored.nNetworkDevice);
    if (scale != stored.nGraphicScale)
        ApplyScale(stored.nGraphicScale);
    ApplyMirror(stored.bMirrorMode);
    if ((m_bTransparencyCheck != 0) != (wnd.m_bTransparent != 0)) {
        if (wnd.m_bTransparent) {
            m_app.Alpha().SetWindowAlpha(&wnd, wnd.m_nAlphaFocused);
            FocusTrafficWnd();
        } else {
            m_app.Alpha().RemoveLayeredStyle(&wnd);
        }
    }
}

void CSettingsDlg::closeEvent(QCloseEvent* event)
{
    // Closing only hides: the dialog lives as long as the program.
    event->ignore();
    OnClose();
}

void CSettingsDlg::reject()
{
    OnClose();
}

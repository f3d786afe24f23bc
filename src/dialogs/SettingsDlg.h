#pragma once

#include "dialogs/LinkLabel.h"

#include <QDialog>
#include <cstdint>

class IApplication;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

// Where the user picks the interface, the graphs' full scale, mirror mode and the traffic
// window's transparency. Every change is previewed at once on the traffic window and its
// graphs; only OK stores and saves; closing puts the stored choices back. The dialog is made
// once, hidden, and only shown and hidden afterwards.
class CSettingsDlg : public QDialog {
public:
    static constexpr const char* kSponsorName = "Mirelda";
    static constexpr const char* kSponsorAddress = "https://mirelda.example/";

    // Scroll notification codes of the sliders.
    static constexpr int SB_LINEUP = 0;
    static constexpr int SB_LINEDOWN = 1;
    static constexpr int SB_PAGEUP = 2;
    static constexpr int SB_PAGEDOWN = 3;
    static constexpr int SB_THUMBPOSITION = 4;
    static constexpr int SB_THUMBTRACK = 5;
    static constexpr int SB_TOP = 6;
    static constexpr int SB_BOTTOM = 7;
    static constexpr int SB_ENDSCROLL = 8;

    CSettingsDlg(IApplication& app, QWidget* pParent);
    ~CSettingsDlg() override;

    // Builds the window from template 130, hidden, and runs its initialisation.
    bool Create();
    // Refills every control from the stored settings and shows the dialog.
    void ShowSettings();
    void UpdateAlphaLabels();

    // Full scale in bytes of a scale-list position; 20 for a position the list lacks.
    static int ScaleFromIndex(int nIndex);
    // The first position whose scale is at least nScale; 20 above the largest.
    static int IndexFromScale(int nScale);

    // Handlers, public so the dialog can be driven without a window system.
    void OnHScroll(int nSBCode, QSlider* pSlider);
    void OnTransparencyClicked();
    void OnMirrorClicked();
    void OnDeviceSelChange();
    void OnScaleSelChange();
    void OnOK();
    void OnClose();

    QLabel* m_labelSponsorCaption = nullptr; // 1024
    CLinkLabel m_labelSponsor; // 1025
    QLabel* m_labelValueUnfocused = nullptr; // 1022
    QLabel* m_labelValueFocused = nullptr; // 1021
    QLabel* m_labelUnfocused = nullptr; // 1020
    QLabel* m_labelFocused = nullptr; // 1019
    QComboBox* m_listDevices = nullptr; // 1005
    QComboBox* m_listScale = nullptr; // 1006
    int m_bTransparencyCheck = 0; // checkbox 1016
    QSlider* m_sliderUnfocused = nullptr; // 1018
    QSlider* m_sliderFocused = nullptr; // 1017
    int m_bMirrorCheck = 0; // checkbox 1023
    QLabel* m_labelDevice = nullptr; // 1004
    QCheckBox* m_checkTransparency = nullptr;
    QCheckBox* m_checkMirror = nullptr;
    QPushButton* m_buttonOk = nullptr; // 1007

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape closes like the close box: previews reverted, nothing saved.
    void reject() override;

private:
    void OnInitDialog();
    // Copies the check states: true reads the boxes into the integers, false writes them back.
    void UpdateData(bool bSaveAndValidate);
    void ApplyDevice(const QString& strName, int nDevice);
    void ApplyScale(int nScale);
    void ApplyMirror(bool bMirror);
    void EnableAlphaControls(bool bEnable, bool bValueLabels);
    void FocusTrafficWnd();
    // The item data of the selected interface, -1 without a selection.
    int SelectedDevice() const;
    // The name of the selected interface, empty without a selection.
    QString SelectedDeviceName() const;
    // The name of the interface the graphs read.
    QString ReadDeviceName() const;
    // The full scale of the selected entry; without a selection, the stored scale.
    int SelectedScale() const;

    IApplication& m_app;
    bool m_bCreated = false;
    bool m_bShownBefore = false;
    // What the graphs read when the dialog was shown: closing puts it back.
    QString m_strDeviceAtShow;
};

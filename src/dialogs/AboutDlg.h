#pragma once

#include "dialogs/LinkLabel.h"

#include <QDialog>

class IApplication;
class QLabel;
class QPushButton;

// Shows the program's icon, name and version, a legal notice and the maker's web address as a
// link. One instance lives hidden from start-up and is shown by the About commands; the main
// window's system menu runs a temporary one modally.
class CAboutDlg : public QDialog {
public:
    // The version comes from the build (the project version in CMakeLists.txt).
    static constexpr const char* kVersionText = "Corvane version " CORVANE_VERSION;
    static constexpr const char* kNotice = "Copyright \u00a9 2026 Mirelda";
    static constexpr const char* kMakerAddress = "https://corvane.example/";

    CAboutDlg(IApplication& app, QWidget* pParent);
    ~CAboutDlg() override;

    // Builds the window from template 100, hidden, and runs its initialisation.
    bool Create();
    // Shows the dialog without taking the keyboard focus from where it is.
    void ShowWithoutFocus();

    CLinkLabel m_labelLink; // 1014, the maker's address
    CLinkLabel m_labelVersion; // 1015, name and version
    CLinkLabel m_labelNotice; // 1013, the legal notice

private:
    void OnInitDialog();

    IApplication& m_app;
    QLabel* m_pIcon = nullptr;
    QPushButton* m_pOk = nullptr;
    bool m_bCreated = false;
};

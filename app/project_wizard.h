#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "byte_string.h"
#include "platform_services.h"
#include "wizard_flow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class SourceFileList;
class TemplateDescriptionBox;
class toc_project;
class TemplateCatalogue;

// What the wizard reaches in the main window. Pointers stay valid as long as the wizard.
struct WizardHost {
    toc_project* project = nullptr;  // replaced by a finished new project
    const TemplateCatalogue* catalogue = nullptr;
    TemplateDescriptionBox* templateDescriptionBox = nullptr;
    // Shows `project` in the main window's controls.
    std::function<void()> showProject;
    // Makes `path` the current project file and opens it as Open Project does after its
    // dialog; true when the project was read. On failure the main window starts a new project,
    // which restarts this wizard at its Mode page while it is showing.
    std::function<bool(std::string_view path)> openProject;
};

// The wizard's controls, for the main window's layout and for tests that set fields and press
// buttons.
struct WizardControls {
    QLabel* title = nullptr;
    QStackedWidget* pages = nullptr;
    QPlainTextEdit* quickHelp = nullptr;
    QPushButton* back = nullptr;
    QPushButton* forward = nullptr;
    QPushButton* cancel = nullptr;
    // Welcome, Mode
    QRadioButton* newProject = nullptr;
    QRadioButton* openExisting = nullptr;
    QRadioButton* singleFile = nullptr;
    QRadioButton* multipleFiles = nullptr;
    // Single source
    QLineEdit* source = nullptr;
    QPushButton* selectSource = nullptr;
    QCheckBox* overwriteSource = nullptr;
    QLineEdit* singleDestination = nullptr;
    QPushButton* saveAs = nullptr;
    // Multiple sources, Destination
    SourceFileList* sourceList = nullptr;
    QLineEdit* multiDestination = nullptr;
    QPushButton* selectDestination = nullptr;
    // Range, Style
    QComboBox* rangeFrom = nullptr;
    QComboBox* rangeTo = nullptr;
    QCheckBox* processTitle = nullptr;
    QCheckBox* processNumbering = nullptr;
    QLabel* numberingCaption = nullptr;  // wraps; a click on it toggles the box
    QCheckBox* insertLocalToc = nullptr;
    QComboBox* anchorStyle = nullptr;
    QLineEdit* anchorAttributes = nullptr;
    QLineEdit* indent = nullptr;
    // Template, Finished
    QComboBox* templateList = nullptr;
    QPushButton* editTemplate = nullptr;
    QLabel* templateDescription = nullptr;
    std::array<QLabel*, 2> finishedPictures = {};
    // Open
    QLineEdit* projectFile = nullptr;
    QPushButton* selectProject = nullptr;
};

// The project wizard: one page at a time under a title band, a quick-help box and the buttons
// "< Back", "Next >" (or "Finish", "Close") and "Cancel". A finished new project goes into the
// main window's project; a project file chosen on the Open page is opened by the main window.
// Every box and dialog goes through the platform services; F1 reaches the main window's help
// through the help context numbers of the format pages' groups.
class ProjectWizard : public QDialog {
    Q_OBJECT

  public:
    // `services` must outlive the wizard.
    explicit ProjectWizard(PlatformServices& services, QWidget* parent = nullptr);
    ~ProjectWizard() override;

    // Once, after the main window's initialisation: links the wizard to the main window and
    // fills the template list from its catalogue.
    void initialise(WizardHost host);

    // Resets every page and shows the Welcome page.
    void showWelcomePage();
    // Shows the Mode page.
    void showModePage();
    // The main window's entry: resets every page, shows `page` (Welcome at start-up, Mode for a
    // new project), and shows the wizard modally unless it is already showing.
    void start(WizardPage page);
    // Centred on the screen and modal to the application; returns at once.
    void showModal();

    WizardPage page() const { return page_; }
    // The values of every page's controls.
    WizardState state() const;
    const WizardControls& controls() const { return controls_; }

  private:
    void buildWindow();
    void buildPages();
    void buildWelcomePage(QWidget* page);
    void buildModePage(QWidget* page);
    void buildSingleSourcePage(QWidget* page);
    void buildMultiSourcesPage(QWidget* page);
    void buildDestinationPage(QWidget* page);
    void buildRangePage(QWidget* page);
    void buildStylePage(QWidget* page);
    void buildTemplatePage(QWidget* page);
    void buildFinishedPage(QWidget* page);
    void buildOpenPage(QWidget* page);

    void reset();
    void putState(const WizardState& state);
    void showPage(WizardPage page);
    // Caption, state and visibility of the buttons for the current page and values.
    void updateButtons();
    // Page-title check box and local-TOC check box appear only for multiple files.
    void applyModeVisibility();
    // The single-file destination is edited only when the source is not overwritten.
    void applyOverwriteRule();

    void goForward();
    void goBack();
    void finishNewProject();
    void finishOpenProject();

    void selectSource();
    void saveDestination();
    void selectDestination();
    void selectProjectFile();
    void describeTemplate();

    // A request with the wizard dialog's options; its folder comes from `startPath` when that
    // is not empty, else it is the folder the wizard's dialogs last started from.
    FileDialogRequest makeRequest(std::string_view title, std::string_view startPath);

    bool eventFilter(QObject* watched, QEvent* event) override;

    PlatformServices& services_;
    WizardHost host_;
    WizardControls controls_;
    WizardPage page_ = WizardPage::welcome;
    byte_string dialogFolder_;
};

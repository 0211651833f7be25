#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <string_view>

#include "byte_string.h"
#include "platform_services.h"
#include "settings.h"
#include "template_catalogue.h"
#include "toc_project.h"
#include "wizard_flow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolBar;
class SourceFileList;
class TocPreview;
class AboutBox;
class TemplateDescriptionBox;
class ProjectWizard;

// The resources of the toolbar images, also shown by the wizard's last page.
constexpr const char* buildIconResource = ":/icons/build.png";
constexpr const char* saveIconResource = ":/icons/save.png";

// The main window: the current project in two tabs, "Project Files" and "Format Options", and
// the TOC it would get in a third, "TOC Preview", with the project, TOC, option and help
// commands. Controls and project meet in two transfers only:
// takeControlsIntoProject before a command uses the project, showProjectInControls after
// a command replaced it.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // `services` must outlive the window. The program directory is set before initialise.
    explicit MainWindow(PlatformServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The folder holding the data directory and the help pages; a '/' is added when missing.
    void setProgramDirectory(std::string_view directory);
    const byte_string& programDirectory() const { return programDirectory_; }

    // Reads the template catalogue, clears the project, reads the settings (and the remembered
    // format options) and places the window. False when the catalogue could not be read: the
    // message has been shown, and the settings are neither read now nor written at exit.
    bool initialise();
    bool isTerminating() const { return terminate_; }

    // Where the project wizard opens: at its welcome page (start without a file) or at its mode
    // page (New Project). The wizard fills the project and shows it here with
    // showProjectInControls, or opens a project file with openProjectFile.
    virtual void showWizard(WizardPage page);

    // The graphical start with a project file named on the command line: opened as by Open
    // Project, except that a failure shows no message before New Project runs.
    void startWithProject(std::string_view path);
    // The graphical start with another file: the single source of a new project, overwritten
    // by its TOC.
    void startWithSource(std::string_view path);

    // The commands of the menus and the toolbar.
    void newProject();
    void openProject();
    bool saveProject();
    bool saveProjectAs();
    void buildToc();
    void clearToc();
    void viewResultFile();
    void reinitTemplateData();
    void openRecent(int32_t slot);
    void showAbout();
    void showTemplateDescription();
    void editTemplate();

    // Loads `path` and makes it the current project file name; on success shows it with the
    // caption and "Project is opened". On failure "Can't read project file: " with the path
    // and the reason; the project and its file name stay as they were.
    bool openProjectFile(std::string_view path);

    void takeControlsIntoProject();
    void showProjectInControls();
    // True when the controls hold other values than the project as last shown or saved, or
    // when the wizard made the project and it was not saved yet.
    bool isModified() const;
    // Before the project is left: a changed project gets the question Save, Discard or Cancel.
    // True to go on (saved or discarded), false after Cancel or a failed save.
    bool maybeSave();

    // Shows the percent of a running build or clear, held to 0 to 100.
    void showProgress(int32_t percent);

    toc_project& project() { return project_; }
    const byte_string& currentProjectFile() const { return currentProjectFile_; }
    const byte_string& dataDirectory() const { return dataDirectory_; }
    const TemplateCatalogue& catalogue() const { return catalogue_; }
    TemplateDescriptionBox& templateDescriptionBox() { return *descriptionBox_; }
    AboutBox& aboutBox() { return *aboutBox_; }
    ProjectWizard& wizard() { return *wizard_; }
    ShellSettings& settings() { return settings_; }
    QString statusText() const;
    void setStatus(const QString& text);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void makeActions();
    void makeMenus();
    void makeToolBar();
    QWidget* makeProjectPage();
    QWidget* makeFormatPage();
    void makeStatusBar();

    // The values of the controls as a project, as takeControlsIntoProject makes it.
    void fillProject(toc_project& project) const;
    // The project as Build TOC would take it now, for the preview.
    toc_project previewProject() const;
    // Any change of a control on the two project pages computes the preview anew; a change of
    // the source-file list also shows the count.
    void watchControlsForPreview();
    // Empties the current project file name and resets the project, then shows it.
    void clearProject();
    void rememberRecentProject();
    void rebuildRecentMenu();
    void updateCaption();
    void applyModeLayout();
    void applyOverwriteRule();
    void setViewResultEnabled(bool enabled);
    void selectSourceFile();
    void saveDestinationAs();
    void selectDestination();
    // A request of the shared file dialog with the HTML filter.
    FileDialogRequest htmlDialog(std::string_view title, std::string_view startPath);
    FileDialogRequest projectDialog(std::string_view title);
    // Runs build or clear on the project with the progress shown.
    void runEngine(bool clear);
    void writeSettingsAtExit();

    PlatformServices& services_;
    byte_string programDirectory_;
    TemplateCatalogue catalogue_;
    ShellSettings settings_;
    toc_project project_;
    // The controls' values when the project was last shown or saved.
    toc_project baseline_;
    // The result of a build or clear stays in the status line while hints come and go.
    bool keepStatus_ = false;
    byte_string currentProjectFile_;
    byte_string dataDirectory_;
    bool terminate_ = false;
    bool initialised_ = false;
    bool settingsWritten_ = false;

    TemplateDescriptionBox* descriptionBox_;
    AboutBox* aboutBox_;
    ProjectWizard* wizard_;

    QAction* newAction_;
    QAction* openAction_;
    QAction* saveAction_;
    QAction* saveAsAction_;
    QAction* exitAction_;
    QAction* buildAction_;
    QAction* clearAction_;
    QAction* viewAction_;
    QAction* reinitAction_;
    QAction* rememberAction_;
    QAction* contentsAction_;
    QAction* supportAction_;
    QAction* aboutAction_;
    QAction* webSiteAction_;
    std::array<QAction*, recentCapacity> recentActions_;
    QMenu* recentMenu_;
    QToolBar* toolBar_;

    QTabWidget* tabs_;
    QRadioButton* singleButton_;
    QRadioButton* multipleButton_;
    QGroupBox* sourceGroup_;
    QLineEdit* sourceEdit_;
    QPushButton* sourceSelectButton_;
    QGroupBox* destinationGroup_;
    QCheckBox* overwriteBox_;
    QLineEdit* destinationEdit_;
    QPushButton* saveAsButton_;
    QPushButton* destinationSelectButton_;
    SourceFileList* sourceList_;
    TocPreview* preview_;

    QComboBox* rangeFromList_;
    QComboBox* rangeToList_;
    QCheckBox* titleBox_;
    QCheckBox* numberingBox_;
    QCheckBox* localTocBox_;
    QComboBox* anchorStyleList_;
    QLineEdit* anchorEdit_;
    QLineEdit* indentEdit_;
    QComboBox* templateList_;
    QPushButton* editTemplateButton_;
    QLabel* descriptionLink_;

    QLabel* statusLabel_;
    QProgressBar* progressBar_;
};

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "byte_string.h"
#include "generic_ui.h"
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
class AboutBox;
class TemplateDescriptionBox;
class ProjectWizard;

// The resources of the toolbar images, also shown by the wizard's last page.
constexpr const char* build_icon_resource = ":/icons/build.png";
constexpr const char* save_icon_resource = ":/icons/save.png";

// The main window: the current project in two tabs, "Project Files" and "Format Options", with
// the project, TOC, option and help commands. Controls and project meet in two transfers only:
// take_controls_into_project before a command uses the project, show_project_in_controls after
// a command replaced it.
class MainWindow : public qorv_generic_ui_class {
    Q_OBJECT

  public:
    // `services` must outlive the window. The program directory is set before initialise.
    explicit MainWindow(platform_services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Reads the template catalogue, clears the project, reads the settings (and the remembered
    // format options) and places the window. False when the catalogue could not be read: the
    // message has been shown, and the settings are neither read now nor written at exit.
    bool initialise();
    bool is_terminating() const { return terminate_; }

    // Where the project wizard opens: at its welcome page (start without a file) or at its mode
    // page (New Project). The wizard fills the project and shows it here with
    // show_project_in_controls, or opens a project file with open_project_file.
    virtual void show_wizard(wizard_page page);

    // The graphical start with a project file named on the command line: opened as by Open
    // Project, except that a failure shows no message before New Project runs.
    void start_with_project(std::string_view path);
    // The graphical start with another file: the single source of a new project, overwritten
    // by its TOC.
    void start_with_source(std::string_view path);

    // The commands of the menus and the toolbar.
    void new_project();
    void open_project();
    bool save_project();
    bool save_project_as();
    void build_toc();
    void clear_toc();
    void view_result_file();
    void reinit_template_data();
    void open_recent(int32_t slot);
    void show_about();
    void show_template_description();
    void edit_template();

    // Makes `path` the current project file name and loads it; on success shows it with the
    // caption and "Project is opened". On failure "Can't read project file" and New Project.
    bool open_project_file(std::string_view path);

    void take_controls_into_project();
    void show_project_in_controls();

    // Shows the percent of a running build or clear, held to 0 to 100.
    void show_progress(int32_t percent);

    toc_project& project() { return project_; }
    const byte_string& current_project_file() const { return current_project_file_; }
    const byte_string& data_directory() const { return data_directory_; }
    const template_catalogue& catalogue() const { return catalogue_; }
    TemplateDescriptionBox& template_description_box() { return *description_box_; }
    AboutBox& about_box() { return *about_box_; }
    ProjectWizard& wizard() { return *wizard_; }
    shell_settings& settings() { return settings_; }
    QString status_text() const;
    void set_status(const QString& text);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void make_actions();
    void make_menus();
    void make_tool_bar();
    QWidget* make_project_page();
    QWidget* make_format_page();
    void make_status_bar();

    // Empties the current project file name and resets the project, then shows it.
    void clear_project();
    void remember_recent_project();
    void rebuild_recent_menu();
    void update_caption();
    void apply_mode_layout();
    void apply_overwrite_rule();
    void set_view_result_enabled(bool enabled);
    void select_source_file();
    void save_destination_as();
    void select_destination();
    // A request of the shared file dialog with the HTML filter.
    file_dialog_request html_dialog(std::string_view title, std::string_view start_path);
    file_dialog_request project_dialog(std::string_view title);
    // Runs build or clear on the project with the progress shown.
    void run_engine(bool clear);
    void write_settings_at_exit();

    template_catalogue catalogue_;
    shell_settings settings_;
    toc_project project_;
    byte_string current_project_file_;
    byte_string data_directory_;
    bool terminate_ = false;
    bool initialised_ = false;
    bool settings_written_ = false;

    TemplateDescriptionBox* description_box_;
    AboutBox* about_box_;
    ProjectWizard* wizard_;

    QAction* new_action_;
    QAction* open_action_;
    QAction* save_action_;
    QAction* save_as_action_;
    QAction* exit_action_;
    QAction* build_action_;
    QAction* clear_action_;
    QAction* view_action_;
    QAction* reinit_action_;
    QAction* remember_action_;
    QAction* contents_action_;
    QAction* support_action_;
    QAction* about_action_;
    QAction* web_site_action_;
    std::array<QAction*, recent_capacity> recent_actions_;
    QMenu* recent_menu_;
    QToolBar* tool_bar_;

    QTabWidget* tabs_;
    QRadioButton* single_button_;
    QRadioButton* multiple_button_;
    QGroupBox* source_group_;
    QLineEdit* source_edit_;
    QPushButton* source_select_button_;
    QGroupBox* destination_group_;
    QCheckBox* overwrite_box_;
    QLineEdit* destination_edit_;
    QPushButton* save_as_button_;
    QPushButton* destination_select_button_;
    SourceFileList* source_list_;

    QComboBox* range_from_list_;
    QComboBox* range_to_list_;
    QCheckBox* title_box_;
    QCheckBox* numbering_box_;
    QCheckBox* local_toc_box_;
    QLineEdit* anchor_edit_;
    QLineEdit* indent_edit_;
    QComboBox* template_list_;
    QPushButton* edit_template_button_;
    QLabel* description_link_;

    QLabel* status_label_;
    QProgressBar* progress_bar_;
};

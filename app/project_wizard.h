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
class template_catalogue;

// What the wizard reaches in the main window. Pointers stay valid as long as the wizard.
struct wizard_host {
    toc_project* project = nullptr;  // replaced by a finished new project
    const template_catalogue* catalogue = nullptr;
    TemplateDescriptionBox* template_description_box = nullptr;
    // Shows `project` in the main window's controls.
    std::function<void()> show_project;
    // Makes `path` the current project file and opens it as Open Project does after its
    // dialog; true when the project was read. On failure the main window starts a new project,
    // which restarts this wizard at its Mode page while it is showing.
    std::function<bool(std::string_view path)> open_project;
};

// The wizard's controls, for the main window's layout and for tests that set fields and press
// buttons.
struct wizard_controls {
    QLabel* title = nullptr;
    QStackedWidget* pages = nullptr;
    QPlainTextEdit* quick_help = nullptr;
    QPushButton* back = nullptr;
    QPushButton* forward = nullptr;
    QPushButton* cancel = nullptr;
    // Welcome, Mode
    QRadioButton* new_project = nullptr;
    QRadioButton* open_existing = nullptr;
    QRadioButton* single_file = nullptr;
    QRadioButton* multiple_files = nullptr;
    // Single source
    QLineEdit* source = nullptr;
    QPushButton* select_source = nullptr;
    QCheckBox* overwrite_source = nullptr;
    QLineEdit* single_destination = nullptr;
    QPushButton* save_as = nullptr;
    // Multiple sources, Destination
    SourceFileList* source_list = nullptr;
    QLineEdit* multi_destination = nullptr;
    QPushButton* select_destination = nullptr;
    // Range, Style
    QComboBox* range_from = nullptr;
    QComboBox* range_to = nullptr;
    QCheckBox* process_title = nullptr;
    QCheckBox* process_numbering = nullptr;
    QLabel* numbering_caption = nullptr;  // wraps; a click on it toggles the box
    QCheckBox* insert_local_toc = nullptr;
    QLineEdit* anchor_attributes = nullptr;
    QLineEdit* indent = nullptr;
    // Template, Finished
    QComboBox* template_list = nullptr;
    QPushButton* edit_template = nullptr;
    QLabel* template_description = nullptr;
    std::array<QLabel*, 2> finished_pictures = {};
    // Open
    QLineEdit* project_file = nullptr;
    QPushButton* select_project = nullptr;
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
    explicit ProjectWizard(platform_services& services, QWidget* parent = nullptr);
    ~ProjectWizard() override;

    // Once, after the main window's initialisation: links the wizard to the main window and
    // fills the template list from its catalogue.
    void initialise(wizard_host host);

    // Resets every page and shows the Welcome page.
    void show_welcome_page();
    // Shows the Mode page.
    void show_mode_page();
    // The main window's entry: resets every page, shows `page` (Welcome at start-up, Mode for a
    // new project), and shows the wizard modally unless it is already showing.
    void start(wizard_page page);
    // Centred on the screen and modal to the application; returns at once.
    void show_modal();

    wizard_page page() const { return page_; }
    // The values of every page's controls.
    wizard_state state() const;
    const wizard_controls& controls() const { return controls_; }

  private:
    void build_window();
    QWidget* build_welcome_page();
    QWidget* build_mode_page();
    QWidget* build_single_source_page();
    QWidget* build_multi_sources_page();
    QWidget* build_destination_page();
    QWidget* build_range_page();
    QWidget* build_style_page();
    QWidget* build_template_page();
    QWidget* build_finished_page();
    QWidget* build_open_page();

    void reset();
    void put_state(const wizard_state& state);
    void show_page(wizard_page page);
    // Caption, state and visibility of the buttons for the current page and values.
    void update_buttons();
    // Page-title check box and local-TOC check box appear only for multiple files.
    void apply_mode_visibility();
    // The single-file destination is edited only when the source is not overwritten.
    void apply_overwrite_rule();

    void go_forward();
    void go_back();
    void finish_new_project();
    void finish_open_project();

    void select_source();
    void save_destination();
    void select_destination();
    void select_project_file();
    void describe_template();

    // A request with the wizard dialog's options; its folder comes from `start_path` when that
    // is not empty, else it is the folder the wizard's dialogs last started from.
    file_dialog_request make_request(std::string_view title, std::string_view start_path);

    bool eventFilter(QObject* watched, QEvent* event) override;

    platform_services& services_;
    wizard_host host_;
    wizard_controls controls_;
    wizard_page page_ = wizard_page::welcome;
    byte_string dialog_folder_;
};

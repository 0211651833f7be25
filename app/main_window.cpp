#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "about_box.h"
#include "project_wizard.h"
#include "qt_text.h"
#include "source_file_list.h"
#include "template_actions.h"
#include "template_description_box.h"
#include "toc_build.h"

namespace {

constexpr std::string_view product_name = "Tocvane 2.0";
constexpr int32_t window_help_context = 6;
constexpr int32_t tool_bar_help_context = 5;
constexpr int32_t project_page_help_context = 4;
constexpr int32_t format_page_help_context = 7;

// Options every request of the window's file dialog carries; "file must exist" is added only for
// the two open dialogs that need it.
constexpr uint32_t shared_dialog_flags =
    dialog_explorer | dialog_hide_read_only | dialog_prompt_overwrite;

// The file name after the last '/'.
std::string_view file_name_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

QAction* make_action(QObject* owner, const QString& name, const QString& text) {
    auto* action = new QAction(text, owner);
    action->setObjectName(name);
    return action;
}

template <typename widget>
widget* named(widget* control, const char* name) {
    control->setObjectName(QLatin1String(name));
    return control;
}

// Only the file dialogs fill a path box.
QLineEdit* path_edit(const char* name, QWidget* parent) {
    auto* edit = named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    return edit;
}

void set_hint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

QComboBox* heading_list(const char* name, QWidget* parent) {
    auto* list = named(new QComboBox(parent), name);
    for (int level = 1; level <= 6; ++level)
        list->addItem(QStringLiteral("<H%1>").arg(level));
    return list;
}

// The value of a range list: index + 1, so 0 without a selection.
int32_t range_value(const QComboBox* list) {
    return static_cast<int32_t>(list->currentIndex() + 1);
}

// A range value from 1 to 6 selects its level; any other leaves the list without selection.
void show_range(QComboBox* list, int32_t level) {
    list->setCurrentIndex(level >= 1 && level <= 6 ? level - 1 : -1);
}

}  // namespace

MainWindow::MainWindow(platform_services& services, QWidget* parent)
    : qorv_generic_ui_class(services, parent),
      catalogue_(""),
      settings_(config_directory().view()) {
    setObjectName(QStringLiteral("main_window"));
    set_help_context(this, window_help_context);
    setWindowIcon(QIcon(QString::fromLatin1(build_icon_resource)));

    make_actions();
    make_menus();
    make_tool_bar();

    tabs_ = named(new QTabWidget(this), "tabs");
    tabs_->addTab(make_project_page(), QStringLiteral("Project Files"));
    tabs_->addTab(make_format_page(), QStringLiteral("Format Options"));
    auto* centre = new QWidget(this);
    auto* centre_layout = new QVBoxLayout(centre);
    centre_layout->setContentsMargins(6, 6, 6, 2);
    centre_layout->addWidget(tabs_);
    setCentralWidget(centre);

    make_status_bar();
    description_box_ = new TemplateDescriptionBox(this);
    about_box_ = new AboutBox(this);
    wizard_ = new ProjectWizard(services_, this);

    resize(design_width, design_height);
    update_caption();
    apply_mode_layout();
    set_view_result_enabled(false);
}

MainWindow::~MainWindow() {
    write_settings_at_exit();
}

void MainWindow::make_actions() {
    new_action_ = make_action(this, "new_project", QStringLiteral("&New Project"));
    new_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    open_action_ = make_action(this, "open_project", QStringLiteral("&Open Project"));
    open_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    save_action_ = make_action(this, "save_project", QStringLiteral("&Save Project"));
    save_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    save_as_action_ = make_action(this, "save_project_as", QStringLiteral("Save Project &As"));
    exit_action_ = make_action(this, "exit", QStringLiteral("&Exit"));
    build_action_ = make_action(this, "build_toc", QStringLiteral("&Build TOC"));
    build_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    clear_action_ =
        make_action(this, "clear_toc", QStringLiteral("&Clear TOC and all HTML code inserted"));
    view_action_ = make_action(this, "view_result", QStringLiteral("View &Result File"));
    view_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    reinit_action_ =
        make_action(this, "reinit_templates", QStringLiteral("Re-init &Template Data"));
    remember_action_ =
        make_action(this, "remember_format", QStringLiteral("Remember &Format Options on Exit"));
    remember_action_->setCheckable(true);
    contents_action_ = make_action(this, "contents", QStringLiteral("&Contents"));
    support_action_ = make_action(this, "support", QStringLiteral("&Support"));
    about_action_ = make_action(this, "about", QStringLiteral("&About"));
    web_site_action_ = make_action(this, "web_site", qt_text(maker_address));

    // the toolbar's images and hints; a menu entry shows the same hint in the status line
    const struct {
        QAction* action;
        const char* icon;
        QString hint;
    } tools[] = {
        {new_action_, ":/icons/new.png", QStringLiteral("New Project")},
        {open_action_, ":/icons/open.png", QStringLiteral("Open Project")},
        {save_action_, save_icon_resource, QStringLiteral("Save Project")},
        {build_action_, build_icon_resource, QStringLiteral("Build TOC")},
        {clear_action_, ":/icons/clear.png",
         QStringLiteral("Clear TOC and all HTML code inserted by the program")},
        {view_action_, ":/icons/view.png", QStringLiteral("View Result File")},
    };
    for (const auto& tool : tools) {
        tool.action->setIcon(QIcon(QString::fromLatin1(tool.icon)));
        tool.action->setToolTip(tool.hint);
        tool.action->setStatusTip(tool.hint);
    }

    connect(new_action_, &QAction::triggered, this, &MainWindow::new_project);
    connect(open_action_, &QAction::triggered, this, &MainWindow::open_project);
    connect(save_action_, &QAction::triggered, this, [this] { save_project(); });
    connect(save_as_action_, &QAction::triggered, this, [this] { save_project_as(); });
    connect(exit_action_, &QAction::triggered, this, &QWidget::close);
    connect(build_action_, &QAction::triggered, this, &MainWindow::build_toc);
    connect(clear_action_, &QAction::triggered, this, &MainWindow::clear_toc);
    connect(view_action_, &QAction::triggered, this, &MainWindow::view_result_file);
    connect(reinit_action_, &QAction::triggered, this, &MainWindow::reinit_template_data);
    connect(contents_action_, &QAction::triggered, this, [this] { open_help_file("help.html"); });
    connect(support_action_, &QAction::triggered, this, [this] { open_help_file("support.html"); });
    connect(about_action_, &QAction::triggered, this, &MainWindow::show_about);
    connect(web_site_action_, &QAction::triggered, this, [this] { open_web_site(); });

    for (int32_t i = 0; i < recent_capacity; ++i) {
        QAction* slot = make_action(this, QStringLiteral("recent_%1").arg(i + 1), QString());
        slot->setVisible(false);
        // the slot number comes from the caption, as the captions are what the user sees
        connect(slot, &QAction::triggered, this,
                [this, slot] { open_recent(recent_slot_number(plain_text(slot->text()).view())); });
        recent_actions_[i] = slot;
    }
}

void MainWindow::make_menus() {
    QMenu* project = menuBar()->addMenu(QStringLiteral("&Project"));
    project->addAction(new_action_);
    project->addAction(open_action_);
    project->addAction(save_action_);
    project->addAction(save_as_action_);
    project->addSeparator();
    recent_menu_ = project->addMenu(QStringLiteral("&Recent Projects"));
    recent_menu_->setObjectName(QStringLiteral("recent_menu"));
    for (QAction* slot : recent_actions_)
        recent_menu_->addAction(slot);
    recent_menu_->menuAction()->setEnabled(false);
    project->addAction(exit_action_);

    QMenu* toc = menuBar()->addMenu(QStringLiteral("&TOC"));
    toc->addAction(build_action_);
    toc->addAction(clear_action_);
    toc->addSeparator();
    toc->addAction(view_action_);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->addAction(reinit_action_);
    options->addAction(remember_action_);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(contents_action_);
    help->addAction(support_action_);
    help->addSeparator();
    help->addAction(about_action_);

    menuBar()->addAction(web_site_action_);
}

void MainWindow::make_tool_bar() {
    tool_bar_ = named(new QToolBar(QStringLiteral("Toolbar"), this), "tool_bar");
    tool_bar_->setMovable(false);
    tool_bar_->setFloatable(false);
    tool_bar_->setIconSize(QSize(24, 24));
    tool_bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // the toolbar stays: no context menu to hide it
    tool_bar_->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    set_help_context(tool_bar_, tool_bar_help_context);
    tool_bar_->addAction(new_action_);
    tool_bar_->addAction(open_action_);
    tool_bar_->addAction(save_action_);
    tool_bar_->addSeparator();
    tool_bar_->addAction(build_action_);
    tool_bar_->addAction(clear_action_);
    tool_bar_->addAction(view_action_);
    addToolBar(Qt::TopToolBarArea, tool_bar_);
}

QWidget* MainWindow::make_project_page() {
    auto* page = named(new QWidget, "project_page");
    set_help_context(page, project_page_help_context);

    single_button_ = named(new QRadioButton(QStringLiteral("Single File"), page), "single_file");
    multiple_button_ =
        named(new QRadioButton(QStringLiteral("Multiple Files"), page), "multiple_files");
    single_button_->setChecked(true);
    auto* modes = new QHBoxLayout;
    modes->addWidget(single_button_);
    modes->addSpacing(16);
    modes->addWidget(multiple_button_);
    modes->addStretch(1);

    source_group_ = named(new QGroupBox(QStringLiteral("Source File"), page), "source_group");
    source_edit_ = path_edit("source_edit", source_group_);
    set_hint(source_edit_,
             QStringLiteral("The file which header tags will be processed to create a TOC"));
    source_select_button_ =
        named(new QPushButton(QStringLiteral("Select..."), source_group_), "source_select");
    auto* source_row = new QHBoxLayout(source_group_);
    source_row->addWidget(source_edit_, 1);
    source_row->addWidget(source_select_button_);

    destination_group_ =
        named(new QGroupBox(QStringLiteral("Destination File"), page), "destination_group");
    overwrite_box_ =
        named(new QCheckBox(QStringLiteral("Overwrite source file"), destination_group_),
              "overwrite_source");
    overwrite_box_->setChecked(true);
    set_hint(
        overwrite_box_,
        QStringLiteral("If this checkbox is checked then TOC will be inserted into the source file "
                       "directly"));
    destination_edit_ = path_edit("destination_edit", destination_group_);
    save_as_button_ =
        named(new QPushButton(QStringLiteral("Save as..."), destination_group_), "save_as");
    destination_select_button_ = named(
        new QPushButton(QStringLiteral("Select..."), destination_group_), "destination_select");
    destination_select_button_->hide();
    auto* destination_row = new QHBoxLayout;
    destination_row->addWidget(destination_edit_, 1);
    // the two buttons share one place: the mode shows one of them
    destination_row->addWidget(save_as_button_);
    destination_row->addWidget(destination_select_button_);
    auto* destination_layout = new QVBoxLayout(destination_group_);
    destination_layout->addWidget(overwrite_box_);
    destination_layout->addLayout(destination_row);

    source_list_ = new SourceFileList(services_, page);
    source_list_->setObjectName(QStringLiteral("source_list"));
    source_list_->group_box()->setTitle(QStringLiteral("HTML source files"));
    source_list_->group_box()->hide();
    source_list_->set_change_notification([this] {
        set_status(QStringLiteral("Total source files: %1").arg(source_list_->count()));
    });

    // Single file: the destination group sits right below the source group, as the hidden list
    // takes no room and the closing stretch the rest. Multiple files: the list takes every spare
    // pixel, which puts the destination group at the bottom.
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(modes);
    layout->addWidget(source_group_);
    layout->addWidget(source_list_->group_box(), 1);
    layout->addWidget(destination_group_);
    layout->addStretch(0);

    connect(single_button_, &QRadioButton::toggled, this, [this] { apply_mode_layout(); });
    connect(overwrite_box_, &QCheckBox::clicked, this, [this] { apply_overwrite_rule(); });
    connect(source_select_button_, &QPushButton::clicked, this, &MainWindow::select_source_file);
    connect(save_as_button_, &QPushButton::clicked, this, &MainWindow::save_destination_as);
    connect(destination_select_button_, &QPushButton::clicked, this,
            &MainWindow::select_destination);
    return page;
}

QWidget* MainWindow::make_format_page() {
    auto* page = named(new QWidget, "format_page");
    set_help_context(page, format_page_help_context);

    auto* range = named(new QGroupBox(QStringLiteral("Header tag range"), page), "range_group");
    range_from_list_ = heading_list("range_from", range);
    range_to_list_ = heading_list("range_to", range);
    title_box_ = named(new QCheckBox(QStringLiteral("Put page titles [<title> tag] to TOC"), range),
                       "process_title");
    auto* range_row = new QHBoxLayout(range);
    range_row->addWidget(range_from_list_);
    range_row->addWidget(new QLabel(QStringLiteral("to"), range));
    range_row->addWidget(range_to_list_);
    range_row->addSpacing(24);
    range_row->addWidget(title_box_);
    range_row->addStretch(1);

    auto* style = named(new QGroupBox(QStringLiteral("Style options"), page), "style_group");
    numbering_box_ =
        named(new QCheckBox(
                  QStringLiteral("Process numbering in decimal notation [like \"1.4.2.\"]"), style),
              "process_numbering");
    local_toc_box_ =
        named(new QCheckBox(QStringLiteral("Insert local TOC into each source file"), style),
              "insert_local_toc");
    anchor_edit_ = named(new QLineEdit(style), "anchor_attributes");
    set_hint(anchor_edit_, QStringLiteral("Put here attributes' text like name=\"value\""));
    indent_edit_ = named(new QLineEdit(style), "indent");
    set_hint(indent_edit_,
             QStringLiteral(
                 "This value can be used in a template, but it is not required and is optional"));
    auto* anchor_label = new QLabel(QStringLiteral("Named anchors' attributes:"), style);
    anchor_label->setBuddy(anchor_edit_);
    auto* indent_label = new QLabel(QStringLiteral("Indent:"), style);
    indent_label->setBuddy(indent_edit_);
    auto* style_grid = new QGridLayout(style);
    style_grid->addWidget(numbering_box_, 0, 0, 1, 2);
    style_grid->addWidget(local_toc_box_, 1, 0, 1, 2);
    style_grid->addWidget(anchor_label, 2, 0);
    style_grid->addWidget(anchor_edit_, 2, 1);
    style_grid->addWidget(indent_label, 3, 0);
    style_grid->addWidget(indent_edit_, 3, 1);
    style_grid->setColumnStretch(1, 1);

    auto* templates = named(new QGroupBox(QStringLiteral("TOC template"), page), "template_group");
    template_list_ = named(new QComboBox(templates), "template_list");
    template_list_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    template_list_->setMinimumContentsLength(24);
    edit_template_button_ =
        named(new QPushButton(QStringLiteral("Edit template"), templates), "edit_template");
    description_link_ = named(new QLabel(templates), "template_description");
    description_link_->setTextFormat(Qt::RichText);
    description_link_->setText(QStringLiteral("<a href=\"#\">Template description</a>"));
    description_link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                               Qt::LinksAccessibleByKeyboard);
    description_link_->setCursor(Qt::PointingHandCursor);
    set_hint(description_link_,
             QStringLiteral("Click to view a description of the template selected"));
    auto* template_row = new QHBoxLayout(templates);
    template_row->addWidget(template_list_, 1);
    template_row->addWidget(edit_template_button_);
    template_row->addSpacing(12);
    template_row->addWidget(description_link_);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(range);
    layout->addWidget(style);
    layout->addWidget(templates);
    layout->addStretch(1);

    connect(edit_template_button_, &QPushButton::clicked, this, &MainWindow::edit_template);
    connect(description_link_, &QLabel::linkActivated, this,
            &MainWindow::show_template_description);
    return page;
}

void MainWindow::make_status_bar() {
    status_label_ = named(new QLabel(statusBar()), "status_line");
    status_label_->setTextFormat(Qt::PlainText);
    status_label_->setContentsMargins(4, 0, 4, 0);
    progress_bar_ = named(new QProgressBar(statusBar()), "progress");
    progress_bar_->setRange(0, 100);
    progress_bar_->setTextVisible(false);
    progress_bar_->setMaximumWidth(160);
    progress_bar_->hide();
    statusBar()->addWidget(status_label_, 1);
    statusBar()->addPermanentWidget(progress_bar_);
    statusBar()->setSizeGripEnabled(true);
}

bool MainWindow::initialise() {
    terminate_ = false;
    build_help_table();
    data_directory_ = program_directory();
    data_directory_.append("qvdata/");
    catalogue_ = template_catalogue(data_directory_.view());

    if (!catalogue_.load()) {
        terminate_ = true;
        services_.warn(catalogue_failure_message(catalogue_).view());
        return false;
    }
    fill_template_list(*template_list_, catalogue_);

    clear_project();
    set_status(QStringLiteral("Project settings are cleared"));

    (void)settings_.read(services_);
    remember_action_->setChecked(settings_.remember_format_options);
    rebuild_recent_menu();
    if (settings_.remember_format_options && settings_.read_format_options(project_)) {
        show_project_in_controls();
    }

    QApplication::setApplicationName(qt_text(product_name));
    qApp->installEventFilter(this);
    set_status(QStringLiteral("For context help use F1 key"));

    const window_geometry place = initial_geometry(settings_.geometry, services_.screen_size());
    move(place.left, place.top);
    resize(place.width, place.height);
    initialised_ = true;

    wizard_host host;
    host.project = &project_;
    host.catalogue = &catalogue_;
    host.template_description_box = description_box_;
    host.show_project = [this] { show_project_in_controls(); };
    host.open_project = [this](std::string_view path) { return open_project_file(path); };
    wizard_->initialise(std::move(host));
    return true;
}

void MainWindow::show_wizard(wizard_page page) {
    wizard_->start(page);
}

void MainWindow::start_with_project(std::string_view path) {
    if (!project_.load(path).is_ok()) {
        new_project();
        return;
    }
    current_project_file_ = byte_string(path);
    show_project_in_controls();
    update_caption();
}

void MainWindow::start_with_source(std::string_view path) {
    // the cleared project keeps the remembered format options
    project_.is_single = true;
    project_.is_dest_as_source = true;
    project_.source.assign(1, byte_string(path));
    show_project_in_controls();
}

void MainWindow::clear_project() {
    current_project_file_.clear();
    project_.reset();
    show_project_in_controls();
    update_caption();
}

void MainWindow::new_project() {
    remember_recent_project();
    clear_project();
    set_status(QStringLiteral("Project settings are cleared"));
    show_wizard(wizard_page::mode);
}

void MainWindow::open_project() {
    remember_recent_project();
    file_dialog_request request = project_dialog("Open TOC project file");
    request.set_flag(dialog_file_must_exist);
    if (!services_.file_dialog_open(request)) return;
    (void)open_project_file(request.result.view());
}

bool MainWindow::open_project_file(std::string_view path) {
    current_project_file_ = byte_string(path);
    if (!project_.load(path).is_ok()) {
        services_.warn("Can't read project file");
        new_project();
        return false;
    }
    show_project_in_controls();
    update_caption();
    set_status(QStringLiteral("Project is opened"));
    return true;
}

bool MainWindow::save_project() {
    if (current_project_file_.is_empty()) return save_project_as();
    take_controls_into_project();
    if (!project_.save(current_project_file_.view()).is_ok()) {
        byte_string message("Can't save project to file: ");
        message.append(current_project_file_);
        services_.warn(message.view());
        return false;
    }
    set_status(QStringLiteral("Project is saved"));
    return true;
}

bool MainWindow::save_project_as() {
    remember_recent_project();
    take_controls_into_project();
    file_dialog_request request = project_dialog("Save project settings file as");
    request.default_extension = byte_string("toc");
    if (!services_.file_dialog_save(request)) return false;
    current_project_file_ = request.result;
    if (!project_.save(current_project_file_.view()).is_ok()) {
        byte_string message("Can't save project to file: ");
        message.append(current_project_file_);
        services_.warn(message.view());
        return false;
    }
    update_caption();
    set_status(QStringLiteral("Project is saved"));
    return true;
}

void MainWindow::build_toc() {
    run_engine(false);
}

void MainWindow::clear_toc() {
    run_engine(true);
}

void MainWindow::run_engine(bool clear) {
    take_controls_into_project();
    tabs_->setCursor(Qt::WaitCursor);
    progress_bar_->setValue(0);
    progress_bar_->show();
    const auto progress = [this](int32_t percent) { show_progress(percent); };
    const result done = clear ? ::clear_toc(project_, progress) : ::build_toc(project_, progress);
    if (!done.is_ok()) {
        services_.warn(done.message().view());
    } else {
        set_view_result_enabled(true);
        services_.beep();
        set_status(clear ? QStringLiteral("Clearance is done")
                         : QStringLiteral("HTML TOC has been created"));
    }
    tabs_->unsetCursor();
    progress_bar_->hide();
}

void MainWindow::show_progress(int32_t percent) {
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    progress_bar_->setValue(percent);
    set_status(QStringLiteral("%1%").arg(percent));
    // the run holds the only thread: paint now, without taking any input
    status_label_->repaint();
    progress_bar_->repaint();
}

void MainWindow::view_result_file() {
    // the record as the last build, clear, load or save left it
    byte_string target;
    if (project_.single() && project_.is_dest_as_source) {
        if (!project_.source.empty()) target = project_.source.front();
    } else {
        target = project_.destination;
    }
    if (services_.shell_open(target.view())) return;
    byte_string message("Can't show destination file: ");
    message.append(target);
    services_.warn(message.view());
}

void MainWindow::reinit_template_data() {
    ::reinit_template_data(
        catalogue_, *template_list_, services_, [this] { take_controls_into_project(); },
        [this] { show_project_in_controls(); });
}

void MainWindow::open_recent(int32_t slot) {
    if (!open_recent_project(slot, settings_, project_, current_project_file_, services_)) return;
    rebuild_recent_menu();
    show_project_in_controls();
    update_caption();
    set_status(QStringLiteral("Recent project is opened"));
}

void MainWindow::show_about() {
    about_box_->show_modal(services_.screen_size());
}

void MainWindow::show_template_description() {
    ::show_template_description(*description_box_, catalogue_, template_list_->currentIndex(),
                                services_);
}

void MainWindow::edit_template() {
    ::edit_template(catalogue_, template_list_->currentIndex(), services_);
}

void MainWindow::take_controls_into_project() {
    const bool single = single_button_->isChecked();
    project_.is_single = single;
    project_.source.clear();
    if (single) {
        project_.source.push_back(plain_path(source_edit_->text()));
    } else {
        project_.source = source_list_->paths();
    }
    project_.is_dest_as_source = overwrite_box_->isChecked();
    project_.destination = plain_path(destination_edit_->text());
    project_.range_from = range_value(range_from_list_);
    project_.range_to = range_value(range_to_list_);
    project_.named_anchor_attributes = plain_text(anchor_edit_->text());
    project_.process_title = title_box_->isChecked();
    project_.process_numbering = numbering_box_->isChecked();
    project_.template_file = catalogue_.project_template_file(template_list_->currentIndex());
    project_.insert_local_toc = local_toc_box_->isChecked();
    project_.indent = plain_text(indent_edit_->text());
    project_.normalize();
    project_.normalize_anchor_attributes();
}

void MainWindow::show_project_in_controls() {
    const bool single = project_.single();
    if (single) {
        source_edit_->setText(project_.source.empty() ? QString()
                                                      : qt_path(project_.source.front().view()));
        source_list_->clear();
    } else {
        source_list_->set_paths(project_.source);
    }
    overwrite_box_->setChecked(project_.is_dest_as_source);
    destination_edit_->setText(qt_path(project_.destination.view()));
    show_range(range_from_list_, project_.range_from);
    show_range(range_to_list_, project_.range_to);
    anchor_edit_->setText(qt_text(project_.named_anchor_attributes.view()));
    title_box_->setChecked(project_.process_title);
    numbering_box_->setChecked(project_.process_numbering);
    template_list_->setCurrentIndex(catalogue_.select_by_path(project_.template_file.view()));
    local_toc_box_->setChecked(project_.insert_local_toc);
    indent_edit_->setText(qt_text(project_.indent.view()));
    single_button_->setChecked(single);
    multiple_button_->setChecked(!single);
    apply_mode_layout();
    set_view_result_enabled(false);
}

void MainWindow::apply_mode_layout() {
    const bool single = single_button_->isChecked();
    source_list_->group_box()->setVisible(!single);
    source_group_->setVisible(single);
    overwrite_box_->setVisible(single);
    save_as_button_->setVisible(single);
    destination_select_button_->setVisible(!single);
    title_box_->setEnabled(!single);
    local_toc_box_->setEnabled(!single);
    if (single) {
        apply_overwrite_rule();
    } else {
        destination_edit_->setEnabled(true);
    }
}

void MainWindow::apply_overwrite_rule() {
    if (!single_button_->isChecked()) return;
    const bool own_destination = !overwrite_box_->isChecked();
    destination_edit_->setEnabled(own_destination);
    save_as_button_->setEnabled(own_destination);
}

void MainWindow::set_view_result_enabled(bool enabled) {
    view_action_->setEnabled(enabled);
}

void MainWindow::remember_recent_project() {
    settings_.recent.remember(current_project_file_.view());
    rebuild_recent_menu();
}

void MainWindow::rebuild_recent_menu() {
    const recent_menu menu = make_recent_menu(settings_.recent);
    recent_menu_->menuAction()->setEnabled(menu.enabled);
    for (int32_t i = 0; i < recent_capacity; ++i) {
        recent_actions_[i]->setVisible(menu.items[i].visible);
        recent_actions_[i]->setText(qt_path(menu.items[i].caption.view()));
    }
}

void MainWindow::update_caption() {
    QString caption = qt_text(product_name);
    if (current_project_file_.is_empty()) {
        caption += QStringLiteral(" - New project");
    } else {
        caption += QStringLiteral(" - ") + qt_path(file_name_of(current_project_file_.view()));
    }
    // "[*]" marks the modified flag in a window title; doubled it shows as itself
    caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(caption);
}

file_dialog_request MainWindow::project_dialog(std::string_view title) {
    file_dialog_request request;
    request.title = byte_string(title);
    request.flags = shared_dialog_flags;
    request.add_filter("TOC Files (*.toc)", "*.toc");
    request.add_filter("Text Files (*.txt)", "*.txt");
    request.add_filter("All Files (*.*)", "*.*");
    // the dialogs share their folder: the project's own, else the one last used
    request.initial_folder = settings_.dialog_folder(current_project_file_.view());
    return request;
}

file_dialog_request MainWindow::html_dialog(std::string_view title, std::string_view start_path) {
    file_dialog_request request;
    request.title = byte_string(title);
    request.flags = shared_dialog_flags;
    request.add_filter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    request.add_filter("All Files (*.*)", "*.*");
    request.initial_folder = settings_.dialog_folder(start_path);
    return request;
}

void MainWindow::select_source_file() {
    const byte_string start = plain_path(source_edit_->text());
    file_dialog_request request = html_dialog("Open source file for building ToC", start.view());
    request.set_flag(dialog_file_must_exist);
    if (services_.file_dialog_open(request)) source_edit_->setText(qt_path(request.result.view()));
}

void MainWindow::save_destination_as() {
    byte_string start = plain_path(destination_edit_->text());
    if (start.is_empty()) start = plain_path(source_edit_->text());
    file_dialog_request request = html_dialog("Save file with inserted ToC as", start.view());
    request.default_extension = byte_string(".html");
    if (services_.file_dialog_save(request)) {
        destination_edit_->setText(qt_path(request.result.view()));
    }
}

void MainWindow::select_destination() {
    byte_string start = plain_path(destination_edit_->text());
    if (start.is_empty()) start = source_list_->first_path();
    file_dialog_request request =
        html_dialog("Open or create file that will hold ToC", start.view());
    request.default_extension = byte_string(".html");
    if (services_.file_dialog_open(request)) {
        destination_edit_->setText(qt_path(request.result.view()));
    }
}

QString MainWindow::status_text() const {
    return status_label_->text();
}

void MainWindow::set_status(const QString& text) {
    status_label_->setText(text);
}

bool MainWindow::event(QEvent* event) {
    // the hint of the control under the pointer, empty when it leaves
    if (event->type() == QEvent::StatusTip) {
        set_status(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return qorv_generic_ui_class::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // F1 in any window of the program opens the page of the control that has the focus
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            open_context_help(static_cast<QWidget*>(watched));
            return true;
        }
    }
    return qorv_generic_ui_class::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    write_settings_at_exit();
    event->accept();
}

void MainWindow::write_settings_at_exit() {
    // settings never read must not replace the stored ones
    if (!initialised_ || terminate_ || settings_written_) return;
    settings_written_ = true;
    exit_state state;
    state.current_project_file = current_project_file_.view();
    state.remember_format_options = remember_action_->isChecked();
    state.geometry = {x(), y(), width(), height()};
    state.take_controls = [this]() -> toc_project& {
        take_controls_into_project();
        return project_;
    };
    settings_.write_at_exit(services_, state);
}

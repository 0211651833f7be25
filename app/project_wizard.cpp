#include "project_wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "generic_ui.h"
#include "main_window.h"
#include "qt_platform_services.h"
#include "qt_text.h"
#include "settings.h"
#include "source_file_list.h"
#include "template_actions.h"
#include "template_catalogue.h"
#include "template_description_box.h"
#include "toc_project.h"

namespace {

constexpr int client_width = 621;
constexpr int client_height = 361;
constexpr int quick_help_height = 66;
// The groups of the format pages open "help/7.html" on F1.
constexpr int32_t format_help_context = 7;

constexpr std::string_view heading_levels[] = {"<H1>", "<H2>", "<H3>", "<H4>", "<H5>", "<H6>"};

QString text_of(std::string_view text) {
    return qt_text(text);
}

QLabel* plain_label(std::string_view text, QWidget* parent) {
    auto* label = new QLabel(text_of(text), parent);
    // captions such as "[<title> tag]" are text, not markup
    label->setTextFormat(Qt::PlainText);
    return label;
}

QGroupBox* group(std::string_view caption, QWidget* page) {
    auto* box = new QGroupBox(text_of(caption), page);
    page->layout()->addWidget(box);
    return box;
}

QWidget* new_page(QStackedWidget* pages) {
    auto* page = new QWidget(pages);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 4, 8, 4);
    return page;
}

void end_page(QWidget* page) {
    static_cast<QVBoxLayout*>(page->layout())->addStretch(1);
}

// An edit box with its button to the right.
void edit_row(QLayout* layout, QLineEdit* edit, QPushButton* button) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(button);
    static_cast<QBoxLayout*>(layout)->addLayout(row);
}

void add_html_filters(file_dialog_request& request) {
    request.add_filter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    request.add_filter("All Files (*.*)", "*.*");
}

void set_path(QLineEdit* edit, const byte_string& path) {
    edit->setText(qt_path(path.view()));
}

byte_string path_of(const QLineEdit* edit) {
    return plain_path(edit->text());
}

}  // namespace

ProjectWizard::ProjectWizard(platform_services& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    build_window();
    reset();
    show_page(wizard_page::welcome);
}

ProjectWizard::~ProjectWizard() = default;

void ProjectWizard::build_window() {
    setWindowTitle(QStringLiteral("Project Wizard"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(client_width, client_height);
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->setSpacing(4);

    controls_.title = new QLabel(this);
    controls_.title->setTextFormat(Qt::PlainText);
    controls_.title->setAutoFillBackground(true);
    controls_.title->setBackgroundRole(QPalette::Base);
    controls_.title->setContentsMargins(12, 8, 12, 8);
    QFont title_font = controls_.title->font();
    title_font.setBold(true);
    title_font.setPointSizeF(title_font.pointSizeF() * 1.4);
    controls_.title->setFont(title_font);
    layout->addWidget(controls_.title);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);

    // one panel per page, in the order of wizard_page
    controls_.pages = new QStackedWidget(this);
    controls_.pages->addWidget(build_welcome_page());
    controls_.pages->addWidget(build_mode_page());
    controls_.pages->addWidget(build_single_source_page());
    controls_.pages->addWidget(build_multi_sources_page());
    controls_.pages->addWidget(build_destination_page());
    controls_.pages->addWidget(build_range_page());
    controls_.pages->addWidget(build_style_page());
    controls_.pages->addWidget(build_template_page());
    controls_.pages->addWidget(build_finished_page());
    controls_.pages->addWidget(build_open_page());
    layout->addWidget(controls_.pages, 1);

    controls_.quick_help = new QPlainTextEdit(this);
    controls_.quick_help->setReadOnly(true);
    controls_.quick_help->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    controls_.quick_help->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controls_.quick_help->setToolTip(QStringLiteral("Quick help"));
    controls_.quick_help->setFixedHeight(quick_help_height);
    auto* help_row = new QHBoxLayout;
    help_row->setContentsMargins(8, 0, 8, 0);
    help_row->addWidget(controls_.quick_help);
    layout->addLayout(help_row);

    controls_.back = new QPushButton(QStringLiteral("< Back"), this);
    controls_.forward = new QPushButton(QStringLiteral("Next >"), this);
    controls_.cancel = new QPushButton(QStringLiteral("Cancel"), this);
    controls_.back->setAutoDefault(false);
    controls_.cancel->setAutoDefault(false);
    controls_.forward->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 8, 0);
    buttons->addStretch(1);
    buttons->addWidget(controls_.back);
    buttons->addWidget(controls_.forward);
    buttons->addSpacing(8);
    buttons->addWidget(controls_.cancel);
    layout->addLayout(buttons);

    connect(controls_.back, &QPushButton::clicked, this, &ProjectWizard::go_back);
    connect(controls_.forward, &QPushButton::clicked, this, &ProjectWizard::go_forward);
    connect(controls_.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* ProjectWizard::build_welcome_page() {
    QWidget* page = new_page(controls_.pages);
    controls_.new_project = new QRadioButton(QStringLiteral("New TOC project"), page);
    controls_.open_existing = new QRadioButton(QStringLiteral("Open existing TOC project"), page);
    page->layout()->addWidget(controls_.new_project);
    page->layout()->addWidget(controls_.open_existing);
    end_page(page);
    return page;
}

QWidget* ProjectWizard::build_mode_page() {
    QWidget* page = new_page(controls_.pages);
    controls_.single_file =
        new QRadioButton(QStringLiteral("Single file [somewhere at the top of the file]"), page);
    controls_.multiple_files =
        new QRadioButton(QStringLiteral("Multiple files [single TOC for all files]"), page);
    page->layout()->addWidget(controls_.single_file);
    page->layout()->addWidget(controls_.multiple_files);
    end_page(page);
    connect(controls_.single_file, &QRadioButton::toggled, this,
            &ProjectWizard::apply_mode_visibility);
    return page;
}

QWidget* ProjectWizard::build_single_source_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* source_group = group("Select source file", page);
    auto* source_layout = new QVBoxLayout(source_group);
    controls_.source = new QLineEdit(source_group);
    controls_.source->setReadOnly(true);
    controls_.select_source = new QPushButton(QStringLiteral("Select"), source_group);
    edit_row(source_layout, controls_.source, controls_.select_source);

    QGroupBox* destination_group = group(
        "Select or create destination file which will contain the source file and TOC created",
        page);
    auto* destination_layout = new QVBoxLayout(destination_group);
    controls_.overwrite_source =
        new QCheckBox(QStringLiteral("Overwrite source file"), destination_group);
    destination_layout->addWidget(controls_.overwrite_source);
    controls_.single_destination = new QLineEdit(destination_group);
    controls_.single_destination->setReadOnly(true);
    controls_.save_as = new QPushButton(QStringLiteral("Save as"), destination_group);
    edit_row(destination_layout, controls_.single_destination, controls_.save_as);
    end_page(page);

    connect(controls_.select_source, &QPushButton::clicked, this, &ProjectWizard::select_source);
    connect(controls_.save_as, &QPushButton::clicked, this, &ProjectWizard::save_destination);
    connect(controls_.overwrite_source, &QCheckBox::toggled, this, [this] {
        apply_overwrite_rule();
        update_buttons();
    });
    connect(controls_.source, &QLineEdit::textChanged, this, &ProjectWizard::update_buttons);
    connect(controls_.single_destination, &QLineEdit::textChanged, this,
            &ProjectWizard::update_buttons);
    return page;
}

QWidget* ProjectWizard::build_multi_sources_page() {
    QWidget* page = new_page(controls_.pages);
    page->layout()->setContentsMargins(0, 0, 0, 0);
    controls_.source_list = new SourceFileList(services_, page);
    page->layout()->addWidget(controls_.source_list->group_box());
    controls_.source_list->group_box()->show();
    return page;
}

QWidget* ProjectWizard::build_destination_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* box = group("Destination file ", page);
    auto* layout = new QVBoxLayout(box);
    controls_.multi_destination = new QLineEdit(box);
    controls_.multi_destination->setReadOnly(true);
    controls_.select_destination = new QPushButton(QStringLiteral("Select or create"), box);
    edit_row(layout, controls_.multi_destination, controls_.select_destination);
    end_page(page);
    connect(controls_.select_destination, &QPushButton::clicked, this,
            &ProjectWizard::select_destination);
    connect(controls_.multi_destination, &QLineEdit::textChanged, this,
            &ProjectWizard::update_buttons);
    return page;
}

QWidget* ProjectWizard::build_range_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* box = group("Header tag range", page);
    qorv_generic_ui_class::set_help_context(box, format_help_context);
    auto* layout = new QVBoxLayout(box);
    controls_.range_from = new QComboBox(box);
    controls_.range_to = new QComboBox(box);
    for (std::string_view level : heading_levels) {
        controls_.range_from->addItem(text_of(level));
        controls_.range_to->addItem(text_of(level));
    }
    auto* row = new QHBoxLayout;
    row->addWidget(plain_label("From", box));
    row->addWidget(controls_.range_from);
    row->addSpacing(12);
    row->addWidget(plain_label("to", box));
    row->addWidget(controls_.range_to);
    row->addStretch(1);
    layout->addLayout(row);
    controls_.process_title =
        new QCheckBox(QStringLiteral("Put page titles [<title> tag] to TOC"), box);
    layout->addWidget(controls_.process_title);
    end_page(page);
    return page;
}

QWidget* ProjectWizard::build_style_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* box = group("Style options", page);
    qorv_generic_ui_class::set_help_context(box, format_help_context);
    auto* layout = new QVBoxLayout(box);
    // the numbering caption is too long for one line at most font sizes: a label that wraps
    // stands beside the box and toggles it like the box's own caption
    controls_.process_numbering = new QCheckBox(box);
    controls_.numbering_caption = plain_label(
        "Process numbering in decimal notation [like \"1.4.2.\"]. Inserted both into TOC items "
        "and headings.",
        box);
    controls_.numbering_caption->setWordWrap(true);
    controls_.numbering_caption->installEventFilter(this);
    controls_.process_numbering->setAccessibleName(controls_.numbering_caption->text());
    auto* numbering_row = new QHBoxLayout;
    numbering_row->addWidget(controls_.process_numbering, 0, Qt::AlignTop);
    numbering_row->addWidget(controls_.numbering_caption, 1);
    layout->addLayout(numbering_row);
    controls_.insert_local_toc = new QCheckBox(
        QStringLiteral("Insert local TOC into each source file [somewhere at the top of the file]"),
        box);
    layout->addWidget(controls_.insert_local_toc);
    layout->addWidget(plain_label(
        "Named anchors' attributes [inserted into header tags]. Format: name=\"value\". ", box));
    controls_.anchor_attributes = new QLineEdit(box);
    controls_.anchor_attributes->setToolTip(
        QStringLiteral("Put here attributes' text like name=\"value\""));
    layout->addWidget(controls_.anchor_attributes);
    layout->addWidget(plain_label(
        "Indent. Text value or HTML code prepended before TOC item depending on its level.", box));
    controls_.indent = new QLineEdit(box);
    controls_.indent->setToolTip(QStringLiteral(
        "This value can be used in a template, but it is not required and is optional"));
    layout->addWidget(controls_.indent);
    end_page(page);
    return page;
}

QWidget* ProjectWizard::build_template_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* box = group("TOC template", page);
    qorv_generic_ui_class::set_help_context(box, format_help_context);
    auto* layout = new QHBoxLayout(box);
    controls_.template_list = new QComboBox(box);
    controls_.template_list->setMinimumContentsLength(24);
    // "Edit template" has no action in the wizard
    controls_.edit_template = new QPushButton(QStringLiteral("Edit template"), box);
    controls_.template_description = plain_label("Template description", box);
    QFont link_font = controls_.template_description->font();
    link_font.setUnderline(true);
    controls_.template_description->setFont(link_font);
    controls_.template_description->setForegroundRole(QPalette::Link);
    controls_.template_description->setCursor(Qt::PointingHandCursor);
    controls_.template_description->setToolTip(
        QStringLiteral("Click to view a description of the template selected"));
    controls_.template_description->installEventFilter(this);
    layout->addWidget(controls_.template_list, 1);
    layout->addWidget(controls_.edit_template);
    layout->addWidget(controls_.template_description);
    end_page(page);
    return page;
}

QWidget* ProjectWizard::build_finished_page() {
    QWidget* page = new_page(controls_.pages);
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    layout->addWidget(plain_label("You will be brought to the main menu now.", page));
    const std::string_view lines[] = {
        "To build TOC for the file[s] you have selected use \"hammer\" button",
        "To save project settings you have specified, use \"floppy\" button",
    };
    // the toolbar's build and save images
    const char* pictures[] = {build_icon_resource, save_icon_resource};
    for (size_t i = 0; i < controls_.finished_pictures.size(); ++i) {
        auto* picture = new QLabel(page);
        picture->setPixmap(QIcon(QString::fromLatin1(pictures[i])).pixmap(16, 16));
        controls_.finished_pictures[i] = picture;
        auto* row = new QHBoxLayout;
        row->addWidget(picture);
        row->addWidget(plain_label(lines[i], page), 1);
        layout->addLayout(row);
    }
    end_page(page);
    return page;
}

QWidget* ProjectWizard::build_open_page() {
    QWidget* page = new_page(controls_.pages);
    QGroupBox* box = group("Select project file ", page);
    auto* layout = new QVBoxLayout(box);
    controls_.project_file = new QLineEdit(box);
    controls_.select_project = new QPushButton(QStringLiteral("Select"), box);
    edit_row(layout, controls_.project_file, controls_.select_project);
    end_page(page);
    connect(controls_.select_project, &QPushButton::clicked, this,
            &ProjectWizard::select_project_file);
    connect(controls_.project_file, &QLineEdit::textChanged, this, &ProjectWizard::update_buttons);
    return page;
}

void ProjectWizard::initialise(wizard_host host) {
    host_ = std::move(host);
    controls_.source_list->set_owner(services_);
    // "Next >" of Multiple sources follows the list
    controls_.source_list->set_change_notification([this] { update_buttons(); });
    // filled once: re-reading the catalogue later does not refill it
    if (host_.catalogue != nullptr) fill_template_list(*controls_.template_list, *host_.catalogue);
    if (controls_.template_list->count() > 0) controls_.template_list->setCurrentIndex(0);
}

void ProjectWizard::show_welcome_page() {
    reset();
    show_page(wizard_page::welcome);
}

void ProjectWizard::show_mode_page() {
    show_page(wizard_page::mode);
}

void ProjectWizard::start(wizard_page page) {
    reset();
    show_page(page);
    // a failed Open from this wizard's own Open page restarts it while it is showing
    if (!isVisible()) show_modal();
}

void ProjectWizard::show_modal() {
    const window_geometry place =
        initial_geometry({}, services_.screen_size(), client_width, client_height);
    move(place.left, place.top);
    setWindowModality(Qt::ApplicationModal);
    show();
    activateWindow();
}

wizard_state ProjectWizard::state() const {
    const wizard_controls& c = controls_;
    wizard_state state;
    state.new_project = c.new_project->isChecked();
    state.single_file = c.single_file->isChecked();
    state.source = path_of(c.source);
    state.overwrite_source = c.overwrite_source->isChecked();
    state.single_destination = path_of(c.single_destination);
    state.sources = c.source_list->paths();
    state.multi_destination = path_of(c.multi_destination);
    state.range_from = c.range_from->currentIndex();
    state.range_to = c.range_to->currentIndex();
    state.process_title = c.process_title->isChecked();
    state.process_numbering = c.process_numbering->isChecked();
    state.insert_local_toc = c.insert_local_toc->isChecked();
    state.anchor_attributes = plain_text(c.anchor_attributes->text());
    state.indent = plain_text(c.indent->text());
    state.template_index = c.template_list->currentIndex();
    state.project_file = path_of(c.project_file);
    return state;
}

void ProjectWizard::reset() {
    put_state(wizard_state{});
}

void ProjectWizard::put_state(const wizard_state& state) {
    const wizard_controls& c = controls_;
    c.new_project->setChecked(state.new_project);
    c.open_existing->setChecked(!state.new_project);
    c.single_file->setChecked(state.single_file);
    c.multiple_files->setChecked(!state.single_file);
    set_path(c.source, state.source);
    c.overwrite_source->setChecked(state.overwrite_source);
    set_path(c.single_destination, state.single_destination);
    c.source_list->set_paths(state.sources);
    set_path(c.multi_destination, state.multi_destination);
    c.range_from->setCurrentIndex(state.range_from);
    c.range_to->setCurrentIndex(state.range_to);
    c.process_title->setChecked(state.process_title);
    c.process_numbering->setChecked(state.process_numbering);
    c.insert_local_toc->setChecked(state.insert_local_toc);
    c.anchor_attributes->setText(qt_text(state.anchor_attributes.view()));
    c.indent->setText(qt_text(state.indent.view()));
    c.template_list->setCurrentIndex(state.template_index);
    set_path(c.project_file, state.project_file);
    apply_mode_visibility();
    apply_overwrite_rule();
    update_buttons();
}

void ProjectWizard::show_page(wizard_page page) {
    page_ = page;
    if (page == wizard_page::open_project) controls_.project_file->clear();
    controls_.pages->setCurrentIndex(static_cast<int>(page));
    const page_flow flow = wizard_flow(page, state());
    controls_.title->setText(text_of(flow.title));
    controls_.quick_help->setPlainText(qt_message_text(flow.help));
    update_buttons();
}

void ProjectWizard::update_buttons() {
    const page_flow flow = wizard_flow(page_, state());
    controls_.forward->setText(text_of(flow.forward_caption));
    controls_.forward->setEnabled(flow.forward_enabled);
    controls_.back->setVisible(flow.has_back);
}

void ProjectWizard::apply_mode_visibility() {
    // hidden boxes keep their values; normalisation drops page titles of a single file
    const bool multiple = !controls_.single_file->isChecked();
    controls_.process_title->setVisible(multiple);
    controls_.insert_local_toc->setVisible(multiple);
}

void ProjectWizard::apply_overwrite_rule() {
    const bool own_destination = !controls_.overwrite_source->isChecked();
    controls_.single_destination->setEnabled(own_destination);
    controls_.save_as->setEnabled(own_destination);
}

void ProjectWizard::go_forward() {
    const page_flow flow = wizard_flow(page_, state());
    if (!flow.forward_enabled) return;
    switch (flow.action) {
        case forward_action::go:
            show_page(flow.forward);
            break;
        case forward_action::finish_new:
            finish_new_project();
            show_page(flow.forward);
            break;
        case forward_action::close:
            accept();
            break;
        case forward_action::finish_open:
            finish_open_project();
            break;
    }
}

void ProjectWizard::go_back() {
    const page_flow flow = wizard_flow(page_, state());
    if (!flow.has_back) return;
    if (flow.back == wizard_page::welcome) {
        show_welcome_page();
    } else {
        show_page(flow.back);
    }
}

void ProjectWizard::finish_new_project() {
    if (host_.project == nullptr || host_.catalogue == nullptr) return;
    take_wizard_into_project(state(), *host_.catalogue, *host_.project);
    // the main window's caption and project file name stay as they are until a save
    if (host_.show_project) host_.show_project();
}

void ProjectWizard::finish_open_project() {
    if (!host_.open_project) return;
    const byte_string path = path_of(controls_.project_file);
    // on failure the main window has put this wizard on its Mode page, where it stays
    if (host_.open_project(path.view())) accept();
}

file_dialog_request ProjectWizard::make_request(std::string_view title,
                                                std::string_view start_path) {
    file_dialog_request request;
    request.title.assign(byte_string(title));
    request.flags = dialog_explorer | dialog_prompt_overwrite | dialog_hide_read_only;
    if (!start_path.empty()) dialog_folder_ = folder_of_path(start_path);
    request.initial_folder = dialog_folder_;
    return request;
}

void ProjectWizard::select_source() {
    const byte_string source = path_of(controls_.source);
    file_dialog_request request = make_request("Open source file for building ToC", source.view());
    add_html_filters(request);
    request.set_flag(dialog_file_must_exist);
    if (services_.file_dialog_open(request)) set_path(controls_.source, request.result);
    update_buttons();
}

void ProjectWizard::save_destination() {
    byte_string start = path_of(controls_.single_destination);
    if (start.is_empty()) start = path_of(controls_.source);
    file_dialog_request request = make_request("Save file with inserted ToC as", start.view());
    add_html_filters(request);
    request.default_extension.assign(".html");
    if (services_.file_dialog_save(request)) set_path(controls_.single_destination, request.result);
    update_buttons();
}

void ProjectWizard::select_destination() {
    byte_string start = path_of(controls_.multi_destination);
    if (start.is_empty()) start = controls_.source_list->first_path();
    file_dialog_request request =
        make_request("Open or create file that will hold ToC", start.view());
    add_html_filters(request);
    request.default_extension.assign(".html");
    // the destination may be a new file
    if (services_.file_dialog_open(request)) set_path(controls_.multi_destination, request.result);
}

void ProjectWizard::select_project_file() {
    file_dialog_request request = make_request("Open project settings file", {});
    request.add_filter("TOC Files (*.toc)", "*.toc");
    request.add_filter("Text Files (*.txt)", "*.txt");
    request.add_filter("All Files (*.*)", "*.*");
    request.set_flag(dialog_file_must_exist);
    if (services_.file_dialog_open(request)) set_path(controls_.project_file, request.result);
}

void ProjectWizard::describe_template() {
    if (host_.catalogue == nullptr || host_.template_description_box == nullptr) return;
    show_template_description(*host_.template_description_box, *host_.catalogue,
                              controls_.template_list->currentIndex(), services_);
}

bool ProjectWizard::eventFilter(QObject* watched, QEvent* event) {
    const bool left_click = event->type() == QEvent::MouseButtonRelease &&
                            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (left_click && watched == controls_.template_description) {
        describe_template();
        return true;
    }
    if (left_click && watched == controls_.numbering_caption) {
        controls_.process_numbering->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

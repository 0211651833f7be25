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
#include <QListWidget>
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
#include <iterator>

#include "about_box.h"
#include "help_context.h"
#include "project_wizard.h"
#include "qt_text.h"
#include "small_heap.h"
#include "source_file_list.h"
#include "template_actions.h"
#include "template_description_box.h"
#include "toc_build.h"
#include "toc_preview.h"

namespace {

constexpr std::string_view product_name = "Tocvane 2.0";
constexpr int32_t windowHelpContext = 6;
constexpr int32_t toolBarHelpContext = 5;
constexpr int32_t projectPageHelpContext = 4;
constexpr int32_t formatPageHelpContext = 7;

// The file name after the last '/'.
std::string_view file_name_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

QAction* makeAction(QObject* owner, const QString& name, const QString& text) {
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
QLineEdit* pathEdit(const char* name, QWidget* parent) {
    auto* edit = named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    return edit;
}

void setHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

QComboBox* headingList(const char* name, QWidget* parent) {
    auto* list = named(new QComboBox(parent), name);
    for (int level = 1; level <= 6; ++level)
        list->addItem(QStringLiteral("<H%1>").arg(level));
    return list;
}

// The value of a range list: index + 1, so 0 without a selection.
int32_t rangeValue(const QComboBox* list) {
    return static_cast<int32_t>(list->currentIndex() + 1);
}

// A range value from 1 to 6 selects its level; any other leaves the list without selection.
void showRange(QComboBox* list, int32_t level) {
    list->setCurrentIndex(level >= 1 && level <= 6 ? level - 1 : -1);
}

}  // namespace

MainWindow::MainWindow(PlatformServices& services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      catalogue_(""),
      settings_(configDirectory().view()) {
    setObjectName(QStringLiteral("main_window"));
    setHelpContext(this, windowHelpContext);
    setWindowIcon(QIcon(QString::fromLatin1(buildIconResource)));

    makeActions();
    makeMenus();
    makeToolBar();

    tabs_ = named(new QTabWidget(this), "tabs");
    tabs_->addTab(makeProjectPage(), QStringLiteral("Project Files"));
    tabs_->addTab(makeFormatPage(), QStringLiteral("Format Options"));
    preview_ = named(new TocPreview([this] { return previewProject(); }), "preview_page");
    tabs_->addTab(preview_, QStringLiteral("TOC Preview"));
    watchControlsForPreview();
    auto* centre = new QWidget(this);
    auto* centreLayout = new QVBoxLayout(centre);
    centreLayout->setContentsMargins(6, 6, 6, 2);
    centreLayout->addWidget(tabs_);
    setCentralWidget(centre);

    makeStatusBar();
    descriptionBox_ = new TemplateDescriptionBox(this);
    aboutBox_ = new AboutBox(this);
    wizard_ = new ProjectWizard(services_, this);

    resize(designWidth, designHeight);
    updateCaption();
    applyModeLayout();
    setViewResultEnabled(false);
}

MainWindow::~MainWindow() {
    writeSettingsAtExit();
}

void MainWindow::makeActions() {
    newAction_ = makeAction(this, "new_project", QStringLiteral("&New Project"));
    newAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    openAction_ = makeAction(this, "open_project", QStringLiteral("&Open Project"));
    openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction_ = makeAction(this, "save_project", QStringLiteral("&Save Project"));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAsAction_ = makeAction(this, "save_project_as", QStringLiteral("Save Project &As"));
    saveAsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    exitAction_ = makeAction(this, "exit", QStringLiteral("&Exit"));
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    buildAction_ = makeAction(this, "build_toc", QStringLiteral("&Build TOC"));
    buildAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    clearAction_ =
        makeAction(this, "clear_toc", QStringLiteral("&Clear TOC and all HTML code inserted"));
    viewAction_ = makeAction(this, "view_result", QStringLiteral("View &Result File"));
    viewAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    reinitAction_ = makeAction(this, "reinit_templates", QStringLiteral("Re-init &Template Data"));
    rememberAction_ =
        makeAction(this, "remember_format", QStringLiteral("Remember &Format Options on Exit"));
    rememberAction_->setCheckable(true);
    contentsAction_ = makeAction(this, "contents", QStringLiteral("&Contents"));
    supportAction_ = makeAction(this, "support", QStringLiteral("&Support"));
    aboutAction_ = makeAction(this, "about", QStringLiteral("&About"));
    webSiteAction_ = makeAction(this, "web_site", qtText(maker_address));

    // the toolbar's images and hints; a menu entry shows the same hint in the status line
    const struct {
        QAction* action;
        const char* icon;
        QString hint;
    } tools[] = {
        {newAction_, ":/icons/new.png", QStringLiteral("New Project")},
        {openAction_, ":/icons/open.png", QStringLiteral("Open Project")},
        {saveAction_, saveIconResource, QStringLiteral("Save Project")},
        {buildAction_, buildIconResource, QStringLiteral("Build TOC")},
        {clearAction_, ":/icons/clear.png",
         QStringLiteral("Clear TOC and all HTML code inserted by the program")},
        {viewAction_, ":/icons/view.png", QStringLiteral("View Result File")},
    };
    for (const auto& tool : tools) {
        tool.action->setIcon(QIcon(QString::fromLatin1(tool.icon)));
        tool.action->setToolTip(tool.hint);
        tool.action->setStatusTip(tool.hint);
    }

    connect(newAction_, &QAction::triggered, this, &MainWindow::newProject);
    connect(openAction_, &QAction::triggered, this, &MainWindow::openProject);
    connect(saveAction_, &QAction::triggered, this, [this] { saveProject(); });
    connect(saveAsAction_, &QAction::triggered, this, [this] { saveProjectAs(); });
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(buildAction_, &QAction::triggered, this, &MainWindow::buildToc);
    connect(clearAction_, &QAction::triggered, this, &MainWindow::clearToc);
    connect(viewAction_, &QAction::triggered, this, &MainWindow::viewResultFile);
    connect(reinitAction_, &QAction::triggered, this, &MainWindow::reinitTemplateData);
    connect(contentsAction_, &QAction::triggered, this,
            [this] { openHelpFile(services_, programDirectory_.view(), "help.html"); });
    connect(supportAction_, &QAction::triggered, this,
            [this] { openHelpFile(services_, programDirectory_.view(), "support.html"); });
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::showAbout);
    connect(webSiteAction_, &QAction::triggered, this, [this] { openWebSite(services_); });

    for (int32_t i = 0; i < recentCapacity; ++i) {
        QAction* slot = makeAction(this, QStringLiteral("recent_%1").arg(i + 1), QString());
        slot->setVisible(false);
        // the slot number comes from the caption, as the captions are what the user sees
        connect(slot, &QAction::triggered, this,
                [this, slot] { openRecent(recentSlotNumber(plainText(slot->text()).view())); });
        recentActions_[i] = slot;
    }
}

void MainWindow::makeMenus() {
    QMenu* project = menuBar()->addMenu(QStringLiteral("&Project"));
    project->addAction(newAction_);
    project->addAction(openAction_);
    project->addAction(saveAction_);
    project->addAction(saveAsAction_);
    project->addSeparator();
    recentMenu_ = project->addMenu(QStringLiteral("&Recent Projects"));
    recentMenu_->setObjectName(QStringLiteral("recent_menu"));
    for (QAction* slot : recentActions_)
        recentMenu_->addAction(slot);
    recentMenu_->menuAction()->setEnabled(false);
    project->addAction(exitAction_);

    QMenu* toc = menuBar()->addMenu(QStringLiteral("&TOC"));
    toc->addAction(buildAction_);
    toc->addAction(clearAction_);
    toc->addSeparator();
    toc->addAction(viewAction_);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->addAction(reinitAction_);
    options->addAction(rememberAction_);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(contentsAction_);
    help->addAction(supportAction_);
    help->addSeparator();
    help->addAction(aboutAction_);

    menuBar()->addAction(webSiteAction_);
}

void MainWindow::makeToolBar() {
    toolBar_ = named(new QToolBar(QStringLiteral("Toolbar"), this), "tool_bar");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // the toolbar stays: no context menu to hide it
    toolBar_->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setHelpContext(toolBar_, toolBarHelpContext);
    toolBar_->addAction(newAction_);
    toolBar_->addAction(openAction_);
    toolBar_->addAction(saveAction_);
    toolBar_->addSeparator();
    toolBar_->addAction(buildAction_);
    toolBar_->addAction(clearAction_);
    toolBar_->addAction(viewAction_);
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

QWidget* MainWindow::makeProjectPage() {
    auto* page = named(new QWidget, "project_page");
    setHelpContext(page, projectPageHelpContext);

    singleButton_ = named(new QRadioButton(QStringLiteral("&Single File"), page), "single_file");
    multipleButton_ =
        named(new QRadioButton(QStringLiteral("&Multiple Files"), page), "multiple_files");
    singleButton_->setChecked(true);
    auto* modes = new QHBoxLayout;
    modes->addWidget(singleButton_);
    modes->addSpacing(16);
    modes->addWidget(multipleButton_);
    modes->addStretch(1);

    sourceGroup_ = named(new QGroupBox(QStringLiteral("Source File"), page), "source_group");
    sourceEdit_ = pathEdit("source_edit", sourceGroup_);
    setHint(sourceEdit_,
            QStringLiteral("The file which header tags will be processed to create a TOC"));
    sourceSelectButton_ =
        named(new QPushButton(QStringLiteral("S&elect..."), sourceGroup_), "source_select");
    auto* sourceRow = new QHBoxLayout(sourceGroup_);
    sourceRow->addWidget(sourceEdit_, 1);
    sourceRow->addWidget(sourceSelectButton_);

    destinationGroup_ =
        named(new QGroupBox(QStringLiteral("Destination File"), page), "destination_group");
    overwriteBox_ =
        named(new QCheckBox(QStringLiteral("O&verwrite source file"), destinationGroup_),
              "overwrite_source");
    overwriteBox_->setChecked(true);
    setHint(
        overwriteBox_,
        QStringLiteral("If this checkbox is checked then TOC will be inserted into the source file "
                       "directly"));
    destinationEdit_ = pathEdit("destination_edit", destinationGroup_);
    saveAsButton_ =
        named(new QPushButton(QStringLiteral("Save &as..."), destinationGroup_), "save_as");
    destinationSelectButton_ = named(
        new QPushButton(QStringLiteral("S&elect..."), destinationGroup_), "destination_select");
    destinationSelectButton_->hide();
    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(destinationEdit_, 1);
    // the two buttons share one place: the mode shows one of them
    destinationRow->addWidget(saveAsButton_);
    destinationRow->addWidget(destinationSelectButton_);
    auto* destinationLayout = new QVBoxLayout(destinationGroup_);
    destinationLayout->addWidget(overwriteBox_);
    destinationLayout->addLayout(destinationRow);

    sourceList_ = new SourceFileList(services_, page);
    sourceList_->setObjectName(QStringLiteral("source_list"));
    sourceList_->groupBox()->setTitle(QStringLiteral("HTML source files"));
    sourceList_->groupBox()->hide();

    // Single file: the destination group sits right below the source group, as the hidden list
    // takes no room and the closing stretch the rest. Multiple files: the list takes every spare
    // pixel, which puts the destination group at the bottom.
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(modes);
    layout->addWidget(sourceGroup_);
    layout->addWidget(sourceList_->groupBox(), 1);
    layout->addWidget(destinationGroup_);
    layout->addStretch(0);

    // Tab follows the page from top to bottom; the list was made after the destination group
    QWidget* const order[] = {singleButton_,
                              multipleButton_,
                              sourceEdit_,
                              sourceSelectButton_,
                              sourceList_->list(),
                              sourceList_->addButton(),
                              sourceList_->deleteButton(),
                              sourceList_->upButton(),
                              sourceList_->downButton(),
                              overwriteBox_,
                              destinationEdit_,
                              saveAsButton_,
                              destinationSelectButton_};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    connect(singleButton_, &QRadioButton::toggled, this, [this] { applyModeLayout(); });
    connect(overwriteBox_, &QCheckBox::clicked, this, [this] { applyOverwriteRule(); });
    connect(sourceSelectButton_, &QPushButton::clicked, this, &MainWindow::selectSourceFile);
    connect(saveAsButton_, &QPushButton::clicked, this, &MainWindow::saveDestinationAs);
    connect(destinationSelectButton_, &QPushButton::clicked, this, &MainWindow::selectDestination);
    return page;
}

QWidget* MainWindow::makeFormatPage() {
    auto* page = named(new QWidget, "format_page");
    setHelpContext(page, formatPageHelpContext);

    auto* range = named(new QGroupBox(QStringLiteral("Header tag range"), page), "range_group");
    rangeFromList_ = headingList("range_from", range);
    rangeToList_ = headingList("range_to", range);
    titleBox_ = named(new QCheckBox(QStringLiteral("Put pa&ge titles [<title> tag] to TOC"), range),
                      "process_title");
    auto* rangeRow = new QHBoxLayout(range);
    rangeRow->addWidget(rangeFromList_);
    rangeRow->addWidget(new QLabel(QStringLiteral("to"), range));
    rangeRow->addWidget(rangeToList_);
    rangeRow->addSpacing(24);
    rangeRow->addWidget(titleBox_);
    rangeRow->addStretch(1);

    auto* style = named(new QGroupBox(QStringLiteral("Style options"), page), "style_group");
    numberingBox_ = named(
        new QCheckBox(QStringLiteral("Process &numbering in decimal notation [like \"1.4.2.\"]"),
                      style),
        "process_numbering");
    localTocBox_ =
        named(new QCheckBox(QStringLiteral("Insert &local TOC into each source file"), style),
              "insert_local_toc");
    anchorStyleList_ = named(new QComboBox(style), "anchor_style");
    anchorStyleList_->addItem(QStringLiteral("Named anchors <a name=\"...\">"));
    anchorStyleList_->addItem(QStringLiteral("HTML5 ids <h2 id=\"...\">"));
    setHint(anchorStyleList_,
            QStringLiteral("HTML5 ids are readable and add no markup to headings that have one"));
    anchorEdit_ = named(new QLineEdit(style), "anchor_attributes");
    setHint(anchorEdit_, QStringLiteral("Put here attributes' text like name=\"value\""));
    indentEdit_ = named(new QLineEdit(style), "indent");
    setHint(indentEdit_,
            QStringLiteral(
                "This value can be used in a template, but it is not required and is optional"));
    auto* anchorStyleLabel = new QLabel(QStringLiteral("Anchor st&yle:"), style);
    anchorStyleLabel->setBuddy(anchorStyleList_);
    auto* anchorLabel = new QLabel(QStringLiteral("Named &anchors' attributes:"), style);
    anchorLabel->setBuddy(anchorEdit_);
    auto* indentLabel = new QLabel(QStringLiteral("&Indent:"), style);
    indentLabel->setBuddy(indentEdit_);
    // the attributes go into named anchors only
    connect(anchorStyleList_, &QComboBox::currentIndexChanged, anchorEdit_, [this, anchorLabel] {
        const bool named = anchorStyleList_->currentIndex() == 0;
        anchorEdit_->setEnabled(named);
        anchorLabel->setEnabled(named);
    });
    auto* styleGrid = new QGridLayout(style);
    styleGrid->addWidget(numberingBox_, 0, 0, 1, 2);
    styleGrid->addWidget(localTocBox_, 1, 0, 1, 2);
    styleGrid->addWidget(anchorStyleLabel, 2, 0);
    styleGrid->addWidget(anchorStyleList_, 2, 1, Qt::AlignLeft);
    styleGrid->addWidget(anchorLabel, 3, 0);
    styleGrid->addWidget(anchorEdit_, 3, 1);
    styleGrid->addWidget(indentLabel, 4, 0);
    styleGrid->addWidget(indentEdit_, 4, 1);
    styleGrid->setColumnStretch(1, 1);

    auto* templates = named(new QGroupBox(QStringLiteral("TOC template"), page), "template_group");
    templateList_ = named(new QComboBox(templates), "template_list");
    templateList_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    templateList_->setMinimumContentsLength(24);
    editTemplateButton_ =
        named(new QPushButton(QStringLiteral("&Edit template"), templates), "edit_template");
    descriptionLink_ = named(new QLabel(templates), "template_description");
    descriptionLink_->setTextFormat(Qt::RichText);
    descriptionLink_->setText(QStringLiteral("<a href=\"#\">Template description</a>"));
    descriptionLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                              Qt::LinksAccessibleByKeyboard);
    descriptionLink_->setCursor(Qt::PointingHandCursor);
    setHint(descriptionLink_,
            QStringLiteral("Click to view a description of the template selected"));
    auto* templateRow = new QHBoxLayout(templates);
    templateRow->addWidget(templateList_, 1);
    templateRow->addWidget(editTemplateButton_);
    templateRow->addSpacing(12);
    templateRow->addWidget(descriptionLink_);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(range);
    layout->addWidget(style);
    layout->addWidget(templates);
    layout->addStretch(1);

    connect(editTemplateButton_, &QPushButton::clicked, this, &MainWindow::editTemplate);
    connect(descriptionLink_, &QLabel::linkActivated, this, &MainWindow::showTemplateDescription);
    return page;
}

void MainWindow::makeStatusBar() {
    statusLabel_ = named(new QLabel(statusBar()), "status_line");
    statusLabel_->setTextFormat(Qt::PlainText);
    statusLabel_->setContentsMargins(4, 0, 4, 0);
    progressBar_ = named(new QProgressBar(statusBar()), "progress");
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    progressBar_->setMaximumWidth(160);
    progressBar_->hide();
    statusBar()->addWidget(statusLabel_, 1);
    statusBar()->addPermanentWidget(progressBar_);
    statusBar()->setSizeGripEnabled(true);
}

void MainWindow::setProgramDirectory(std::string_view directory) {
    programDirectory_ = byte_string(directory);
    if (!programDirectory_.is_empty() && !programDirectory_.ends_with("/")) {
        programDirectory_.push('/');
    }
}

bool MainWindow::initialise() {
    terminate_ = false;
    dataDirectory_ = programDirectory();
    dataDirectory_.append("qvdata/");
    catalogue_ = TemplateCatalogue(dataDirectory_.view());
    // an installed template the user may not change is edited as a copy kept here
    byte_string copies = configDirectory();
    copies.append("templates/");
    catalogue_.setCopyFolder(copies.view());

    if (!catalogue_.load()) {
        terminate_ = true;
        services_.warn(catalogueFailureMessage(catalogue_).view());
        return false;
    }
    fillTemplateList(*templateList_, catalogue_);

    clearProject();
    setStatus(QStringLiteral("Project settings are cleared"));

    (void)settings_.read(services_);
    rememberAction_->setChecked(settings_.rememberFormatOptions);
    rebuildRecentMenu();
    if (settings_.rememberFormatOptions && settings_.readFormatOptions(project_)) {
        showProjectInControls();
    }

    QApplication::setApplicationName(qtText(product_name));
    qApp->installEventFilter(this);
    setStatus(QStringLiteral("For context help use F1 key"));

    const WindowGeometry place = initialGeometry(settings_.geometry, services_.screenSize());
    move(place.left, place.top);
    resize(place.width, place.height);
    initialised_ = true;

    WizardHost host;
    host.project = &project_;
    host.catalogue = &catalogue_;
    host.templateDescriptionBox = descriptionBox_;
    host.showProject = [this] {
        showProjectInControls();
        // a finished new project is unsaved work
        baseline_ = toc_project();
        setStatus(QStringLiteral("Project is created"));
    };
    host.openProject = [this](std::string_view path) { return openProjectFile(path); };
    wizard_->initialise(std::move(host));
    return true;
}

void MainWindow::showWizard(WizardPage page) {
    wizard_->start(page);
}

void MainWindow::startWithProject(std::string_view path) {
    if (!loadProjectFile(path, project_, services_)) {
        showWizard(WizardPage::welcome);
        return;
    }
    currentProjectFile_ = byte_string(path);
    showProjectInControls();
    updateCaption();
}

void MainWindow::startWithSource(std::string_view path) {
    // the cleared project keeps the remembered format options
    project_.is_single = true;
    project_.is_dest_as_source = true;
    project_.source.assign(1, byte_string(path));
    showProjectInControls();
}

void MainWindow::clearProject() {
    currentProjectFile_.clear();
    project_.reset();
    showProjectInControls();
    updateCaption();
}

bool MainWindow::isModified() const {
    toc_project shown;
    fillProject(shown);
    return !(shown == baseline_);
}

bool MainWindow::maybeSave() {
    if (!isModified()) return true;
    switch (
        services_.showMessage(MessageKind::save_question, "Project has been changed. Save it?")) {
        case MessageAnswer::save:
            return saveProject();
        case MessageAnswer::discard:
            return true;
        default:
            return false;
    }
}

void MainWindow::newProject() {
    if (!maybeSave()) return;
    rememberRecentProject();
    clearProject();
    setStatus(QStringLiteral("Project settings are cleared"));
    showWizard(WizardPage::mode);
}

void MainWindow::openProject() {
    if (!maybeSave()) return;
    rememberRecentProject();
    FileDialogRequest request = projectDialog("Open TOC project file");
    request.openMode = OpenMode::existing_file;
    if (!services_.fileDialogOpen(request)) return;
    (void)openProjectFile(request.chosenPath().view());
}

bool MainWindow::openProjectFile(std::string_view path) {
    // a failed open leaves the project and its file as they were
    if (!loadProjectFile(path, project_, services_)) return false;
    currentProjectFile_ = byte_string(path);
    showProjectInControls();
    updateCaption();
    setStatus(QStringLiteral("Project is opened"));
    return true;
}

bool MainWindow::saveProject() {
    if (currentProjectFile_.is_empty()) return saveProjectAs();
    takeControlsIntoProject();
    if (!project_.save(currentProjectFile_.view()).is_ok()) {
        byte_string message("Can't save project to file: ");
        message.append(currentProjectFile_);
        services_.warn(message.view());
        return false;
    }
    fillProject(baseline_);
    setStatus(QStringLiteral("Project is saved"));
    return true;
}

bool MainWindow::saveProjectAs() {
    rememberRecentProject();
    takeControlsIntoProject();
    FileDialogRequest request = projectDialog("Save project settings file as");
    request.defaultExtension = byte_string("toc");
    if (!services_.fileDialogSave(request)) return false;
    currentProjectFile_ = request.chosenPath();
    if (!project_.save(currentProjectFile_.view()).is_ok()) {
        byte_string message("Can't save project to file: ");
        message.append(currentProjectFile_);
        services_.warn(message.view());
        return false;
    }
    fillProject(baseline_);
    updateCaption();
    setStatus(QStringLiteral("Project is saved"));
    return true;
}

void MainWindow::buildToc() {
    runEngine(false);
}

void MainWindow::clearToc() {
    // every source file is rewritten
    if (!services_.ask("Remove the TOC and all HTML code inserted by the program from every "
                       "source file?"))
        return;
    runEngine(true);
}

void MainWindow::runEngine(bool clear) {
    takeControlsIntoProject();
    // the file the project is kept in now, after a Save As too
    project_.file_path = currentProjectFile_;
    tabs_->setCursor(Qt::WaitCursor);
    progressBar_->setValue(0);
    progressBar_->show();
    const auto progress = [this](int32_t percent) { showProgress(percent); };
    const result done = clear ? ::clear_toc(project_, progress) : ::build_toc(project_, progress);
    small_heap::give_back_free_memory();
    if (!done.is_ok()) {
        services_.warn(done.message().view());
    } else {
        setViewResultEnabled(true);
        services_.beep();
        setStatus(clear ? QStringLiteral("Clearance is done")
                        : QStringLiteral("HTML TOC has been created"));
        // a result stays until the next command, whatever the pointer passes over
        keepStatus_ = true;
    }
    tabs_->unsetCursor();
    progressBar_->hide();
}

void MainWindow::showProgress(int32_t percent) {
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    progressBar_->setValue(percent);
    setStatus(QStringLiteral("%1%").arg(percent));
    // the run holds the only thread: paint now, without taking any input
    statusLabel_->repaint();
    progressBar_->repaint();
}

void MainWindow::viewResultFile() {
    // the record as the last build, clear, load or save left it
    byte_string target;
    if (project_.single() && project_.is_dest_as_source) {
        if (!project_.source.empty()) target = project_.source.front();
    } else {
        target = project_.destination;
    }
    if (services_.shellOpen(target.view())) return;
    byte_string message("Can't show destination file: ");
    message.append(target);
    services_.warn(message.view());
}

void MainWindow::reinitTemplateData() {
    ::reinitTemplateData(
        catalogue_, *templateList_, services_, [this] { takeControlsIntoProject(); },
        [this] { showProjectInControls(); });
}

void MainWindow::openRecent(int32_t slot) {
    if (!maybeSave()) return;
    if (!openRecentProject(slot, settings_, project_, currentProjectFile_, services_)) return;
    rebuildRecentMenu();
    showProjectInControls();
    updateCaption();
    setStatus(QStringLiteral("Recent project is opened"));
}

void MainWindow::showAbout() {
    aboutBox_->showModal(services_.screenSize());
}

void MainWindow::showTemplateDescription() {
    ::showTemplateDescription(*descriptionBox_, catalogue_, templateList_->currentIndex(),
                              services_);
}

void MainWindow::editTemplate() {
    if (!catalogue_.isLoaded() || templateList_->currentIndex() < 0) return;
    byte_string path = selectedTemplateFile(*templateList_, catalogue_);
    (void)::editTemplate(path, catalogue_.copyFolder().view(), services_);
    // a copy made for editing takes the template's place in the list and the project
    selectTemplate(*templateList_, catalogue_, path.view());
}

void MainWindow::takeControlsIntoProject() {
    const byte_string kept = std::move(project_.file_path);
    fillProject(project_);
    project_.file_path = kept;
}

void MainWindow::fillProject(toc_project& project) const {
    const bool single = singleButton_->isChecked();
    project.is_single = single;
    project.source.clear();
    if (single) {
        project.source.push_back(plainPath(sourceEdit_->text()));
    } else {
        project.source = sourceList_->paths();
    }
    project.is_dest_as_source = overwriteBox_->isChecked();
    project.destination = plainPath(destinationEdit_->text());
    project.range_from = rangeValue(rangeFromList_);
    project.range_to = rangeValue(rangeToList_);
    project.named_anchor_attributes = plainText(anchorEdit_->text());
    project.anchor_style =
        anchorStyleList_->currentIndex() == 1 ? anchor_kind::id : anchor_kind::name;
    project.process_title = titleBox_->isChecked();
    project.process_numbering = numberingBox_->isChecked();
    project.template_file = selectedTemplateFile(*templateList_, catalogue_);
    project.insert_local_toc = localTocBox_->isChecked();
    project.indent = plainText(indentEdit_->text());
    project.file_path.clear();
    project.normalize();
    project.normalize_anchor_attributes();
}

toc_project MainWindow::previewProject() const {
    toc_project project;
    fillProject(project);
    project.file_path = currentProjectFile_;
    return project;
}

void MainWindow::watchControlsForPreview() {
    sourceList_->setChangeNotification([this] {
        setStatus(QStringLiteral("Total source files: %1").arg(sourceList_->count()));
        preview_->schedule();
    });
    const auto changed = [this] { preview_->schedule(); };
    for (QWidget* page : {tabs_->widget(0), tabs_->widget(1)}) {
        for (auto* box : page->findChildren<QAbstractButton*>()) {
            if (box->isCheckable()) connect(box, &QAbstractButton::toggled, this, changed);
        }
        for (auto* edit : page->findChildren<QLineEdit*>())
            connect(edit, &QLineEdit::textChanged, this, changed);
        for (auto* list : page->findChildren<QComboBox*>())
            connect(list, &QComboBox::currentIndexChanged, this, changed);
    }
}

void MainWindow::showProjectInControls() {
    const bool single = project_.single();
    if (single) {
        sourceEdit_->setText(project_.source.empty() ? QString()
                                                     : qtPath(project_.source.front().view()));
        sourceList_->clear();
    } else {
        sourceList_->setPaths(project_.source);
    }
    overwriteBox_->setChecked(project_.is_dest_as_source);
    destinationEdit_->setText(qtPath(project_.destination.view()));
    showRange(rangeFromList_, project_.range_from);
    showRange(rangeToList_, project_.range_to);
    anchorEdit_->setText(qtText(project_.named_anchor_attributes.view()));
    anchorStyleList_->setCurrentIndex(project_.anchor_style == anchor_kind::id ? 1 : 0);
    titleBox_->setChecked(project_.process_title);
    numberingBox_->setChecked(project_.process_numbering);
    selectTemplate(*templateList_, catalogue_, project_.template_file.view());
    localTocBox_->setChecked(project_.insert_local_toc);
    indentEdit_->setText(qtText(project_.indent.view()));
    singleButton_->setChecked(single);
    multipleButton_->setChecked(!single);
    applyModeLayout();
    setViewResultEnabled(false);
    fillProject(baseline_);
}

void MainWindow::applyModeLayout() {
    const bool single = singleButton_->isChecked();
    sourceList_->groupBox()->setVisible(!single);
    sourceGroup_->setVisible(single);
    overwriteBox_->setVisible(single);
    saveAsButton_->setVisible(single);
    destinationSelectButton_->setVisible(!single);
    titleBox_->setEnabled(!single);
    localTocBox_->setEnabled(!single);
    if (single) {
        applyOverwriteRule();
    } else {
        destinationEdit_->setEnabled(true);
    }
}

void MainWindow::applyOverwriteRule() {
    if (!singleButton_->isChecked()) return;
    const bool ownDestination = !overwriteBox_->isChecked();
    destinationEdit_->setEnabled(ownDestination);
    saveAsButton_->setEnabled(ownDestination);
}

void MainWindow::setViewResultEnabled(bool enabled) {
    viewAction_->setEnabled(enabled);
}

void MainWindow::rememberRecentProject() {
    settings_.recent.remember(currentProjectFile_.view());
    rebuildRecentMenu();
}

void MainWindow::rebuildRecentMenu() {
    const RecentMenu menu = makeRecentMenu(settings_.recent);
    recentMenu_->menuAction()->setEnabled(menu.enabled);
    for (int32_t i = 0; i < recentCapacity; ++i) {
        recentActions_[i]->setVisible(menu.items[i].visible);
        recentActions_[i]->setText(qtPath(menu.items[i].caption.view()));
    }
}

void MainWindow::updateCaption() {
    QString caption = qtText(product_name);
    if (currentProjectFile_.is_empty()) {
        caption += QStringLiteral(" - New project");
    } else {
        caption += QStringLiteral(" - ") + qtPath(file_name_of(currentProjectFile_.view()));
    }
    setWindowTitle(qtWindowTitle(caption));
}

FileDialogRequest MainWindow::projectDialog(std::string_view title) {
    FileDialogRequest request;
    request.title = byte_string(title);
    request.addFilter("TOC Files (*.toc)", "*.toc");
    request.addFilter("Text Files (*.txt)", "*.txt");
    request.addFilter("All Files (*.*)", "*.*");
    // the dialogs share their folder: the project's own, else the one last used
    request.initialFolder = settings_.dialogFolder(currentProjectFile_.view());
    return request;
}

FileDialogRequest MainWindow::htmlDialog(std::string_view title, std::string_view startPath) {
    FileDialogRequest request;
    request.title = byte_string(title);
    request.addFilter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    request.addFilter("All Files (*.*)", "*.*");
    // without a path of its own the dialog starts in the project's folder
    request.initialFolder =
        settings_.dialogFolder(startPath.empty() ? currentProjectFile_.view() : startPath);
    return request;
}

void MainWindow::selectSourceFile() {
    const byte_string start = plainPath(sourceEdit_->text());
    FileDialogRequest request = htmlDialog("Open source file for building ToC", start.view());
    request.openMode = OpenMode::existing_file;
    if (services_.fileDialogOpen(request)) sourceEdit_->setText(request.chosen.front());
}

void MainWindow::saveDestinationAs() {
    byte_string start = plainPath(destinationEdit_->text());
    if (start.is_empty()) start = plainPath(sourceEdit_->text());
    FileDialogRequest request = htmlDialog("Save file with inserted ToC as", start.view());
    request.defaultExtension = byte_string(".html");
    if (services_.fileDialogSave(request)) destinationEdit_->setText(request.chosen.front());
}

void MainWindow::selectDestination() {
    byte_string start = plainPath(destinationEdit_->text());
    if (start.is_empty()) start = sourceList_->firstPath();
    FileDialogRequest request = htmlDialog("Open or create file that will hold ToC", start.view());
    request.defaultExtension = byte_string(".html");
    if (services_.fileDialogOpen(request)) destinationEdit_->setText(request.chosen.front());
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::setStatus(const QString& text) {
    keepStatus_ = false;
    statusLabel_->setText(text);
}

bool MainWindow::event(QEvent* event) {
    // the hint of the control under the pointer, empty when it leaves
    if (event->type() == QEvent::StatusTip) {
        if (!keepStatus_) statusLabel_->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // F1 in any window of the program opens the page of the control that has the focus
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            auto* focused = static_cast<QWidget*>(watched);
            // the tab bar stands for the page it shows
            if (focused == tabs_->tabBar()) focused = tabs_->currentWidget();
            openContextHelp(services_, programDirectory_.view(), focused);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    writeSettingsAtExit();
    event->accept();
}

void MainWindow::writeSettingsAtExit() {
    // settings never read must not replace the stored ones
    if (!initialised_ || terminate_ || settingsWritten_) return;
    settingsWritten_ = true;
    ExitState state;
    state.currentProjectFile = currentProjectFile_.view();
    state.rememberFormatOptions = rememberAction_->isChecked();
    state.geometry = {x(), y(), width(), height()};
    state.takeControls = [this]() -> toc_project& {
        takeControlsIntoProject();
        return project_;
    };
    settings_.writeAtExit(services_, state);
}

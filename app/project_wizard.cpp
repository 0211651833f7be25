#include "project_wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <tuple>
#include <utility>

#include "help_context.h"
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

// The least client size; a larger font makes the layout ask for more.
constexpr int clientWidth = 621;
constexpr int clientHeight = 361;
// The quick help shows this many lines before it scrolls.
constexpr int quickHelpLines = 4;
// The groups of the format pages open "help/7.html" on F1.
constexpr int32_t formatHelpContext = 7;

constexpr std::string_view headingLevels[] = {"<H1>", "<H2>", "<H3>", "<H4>", "<H5>", "<H6>"};

// The forward button's caption with its mnemonic; "Close" leaves the C to "Cancel".
QString forwardCaption(std::string_view caption) {
    if (caption == "Close") return QStringLiteral("C&lose");
    return QLatin1Char('&') + qtText(caption);
}

QLabel* plainLabel(std::string_view text, QWidget* parent) {
    auto* label = new QLabel(qtText(text), parent);
    // captions such as "[<title> tag]" are text, not markup
    label->setTextFormat(Qt::PlainText);
    return label;
}

QGroupBox* group(std::string_view caption, QWidget* page) {
    auto* box = new QGroupBox(qtText(caption), page);
    page->layout()->addWidget(box);
    return box;
}

// A group of a format page: F1 on its controls opens the format options' help page.
QGroupBox* formatGroup(std::string_view caption, QWidget* page) {
    QGroupBox* box = group(caption, page);
    setHelpContext(box, formatHelpContext);
    return box;
}

// An edit box with its button to the right.
void editRow(QLayout* layout, QLineEdit* edit, QPushButton* button) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(button);
    static_cast<QBoxLayout*>(layout)->addLayout(row);
}

// A read-only path box with its button to the right, in the group that owns `layout`.
std::pair<QLineEdit*, QPushButton*> pathRow(QLayout* layout, const char* caption) {
    QWidget* group = layout->parentWidget();
    std::pair<QLineEdit*, QPushButton*> row{new QLineEdit(group),
                                            new QPushButton(QString::fromLatin1(caption), group)};
    row.first->setReadOnly(true);
    editRow(layout, row.first, row.second);
    return row;
}

void addHtmlFilters(FileDialogRequest& request) {
    request.addFilter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    request.addFilter("All Files (*.*)", "*.*");
}

void setPath(QLineEdit* edit, const byte_string& path) {
    edit->setText(qtPath(path.view()));
}

byte_string pathOf(const QLineEdit* edit) {
    return plainPath(edit->text());
}

}  // namespace

ProjectWizard::ProjectWizard(PlatformServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    buildWindow();
    reset();
    showPage(WizardPage::welcome);
}

ProjectWizard::~ProjectWizard() = default;

void ProjectWizard::buildWindow() {
    setWindowTitle(QStringLiteral("Project Wizard"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    // the window is never smaller than its widgets need, whatever the font
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->setSpacing(4);

    controls_.title = new QLabel(this);
    controls_.title->setTextFormat(Qt::PlainText);
    controls_.title->setAutoFillBackground(true);
    controls_.title->setBackgroundRole(QPalette::Base);
    controls_.title->setContentsMargins(12, 8, 12, 8);
    QFont titleFont = controls_.title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    controls_.title->setFont(titleFont);
    layout->addWidget(controls_.title);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);

    buildPages();
    // a strut beside the pages holds the window at its least size when they need less
    auto* pagesRow = new QHBoxLayout;
    auto* strut = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    pagesRow->addWidget(controls_.pages, 1);
    pagesRow->addSpacerItem(strut);
    layout->addLayout(pagesRow, 1);
    layout->addSpacerItem(
        new QSpacerItem(clientWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed));

    controls_.quickHelp = new QPlainTextEdit(this);
    controls_.quickHelp->setReadOnly(true);
    controls_.quickHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    controls_.quickHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controls_.quickHelp->setToolTip(QStringLiteral("Quick help"));
    controls_.quickHelp->setFixedHeight(
        controls_.quickHelp->fontMetrics().lineSpacing() * quickHelpLines +
        2 * (controls_.quickHelp->frameWidth() +
             static_cast<int>(controls_.quickHelp->document()->documentMargin())));
    auto* helpRow = new QHBoxLayout;
    helpRow->setContentsMargins(8, 0, 8, 0);
    helpRow->addWidget(controls_.quickHelp);
    layout->addLayout(helpRow);

    controls_.back = new QPushButton(QStringLiteral("< &Back"), this);
    controls_.forward = new QPushButton(QStringLiteral("&Next >"), this);
    controls_.cancel = new QPushButton(QStringLiteral("&Cancel"), this);
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

    const int others = layout->totalMinimumSize().height() - pagesRow->minimumSize().height();
    strut->changeSize(0, clientHeight - others, QSizePolicy::Fixed, QSizePolicy::Minimum);
    layout->invalidate();

    connect(controls_.back, &QPushButton::clicked, this, &ProjectWizard::goBack);
    connect(controls_.forward, &QPushButton::clicked, this, &ProjectWizard::goForward);
    connect(controls_.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ProjectWizard::buildPages() {
    // one panel per page, in the order of WizardPage; only the list of sources takes the height
    struct PageBuild {
        void (ProjectWizard::*build)(QWidget* page);
        bool growing;
    };
    constexpr PageBuild builds[] = {
        {&ProjectWizard::buildWelcomePage, false},
        {&ProjectWizard::buildModePage, false},
        {&ProjectWizard::buildSingleSourcePage, false},
        {&ProjectWizard::buildMultiSourcesPage, true},
        {&ProjectWizard::buildDestinationPage, false},
        {&ProjectWizard::buildRangePage, false},
        {&ProjectWizard::buildStylePage, false},
        {&ProjectWizard::buildTemplatePage, false},
        {&ProjectWizard::buildFinishedPage, false},
        {&ProjectWizard::buildOpenPage, false},
    };
    controls_.pages = new QStackedWidget(this);
    for (const PageBuild& page : builds) {
        auto* panel = new QWidget(controls_.pages);
        auto* panelLayout = new QVBoxLayout(panel);
        panelLayout->setContentsMargins(8, 4, 8, 4);
        (this->*page.build)(panel);
        if (!page.growing) panelLayout->addStretch(1);
        controls_.pages->addWidget(panel);
    }
}

void ProjectWizard::buildWelcomePage(QWidget* page) {
    controls_.newProject = new QRadioButton(QStringLiteral("New TOC project"), page);
    controls_.openExisting = new QRadioButton(QStringLiteral("Open existing TOC project"), page);
    page->layout()->addWidget(controls_.newProject);
    page->layout()->addWidget(controls_.openExisting);
}

void ProjectWizard::buildModePage(QWidget* page) {
    controls_.singleFile =
        new QRadioButton(QStringLiteral("Single file [somewhere at the top of the file]"), page);
    controls_.multipleFiles =
        new QRadioButton(QStringLiteral("Multiple files [single TOC for all files]"), page);
    page->layout()->addWidget(controls_.singleFile);
    page->layout()->addWidget(controls_.multipleFiles);
    connect(controls_.singleFile, &QRadioButton::toggled, this,
            &ProjectWizard::applyModeVisibility);
}

void ProjectWizard::buildSingleSourcePage(QWidget* page) {
    QGroupBox* sourceGroup = group("Select source file", page);
    std::tie(controls_.source, controls_.selectSource) =
        pathRow(new QVBoxLayout(sourceGroup), "Select");

    QGroupBox* destinationGroup = group(
        "Select or create destination file which will contain the source file and TOC created",
        page);
    auto* destinationLayout = new QVBoxLayout(destinationGroup);
    controls_.overwriteSource =
        new QCheckBox(QStringLiteral("Overwrite source file"), destinationGroup);
    destinationLayout->addWidget(controls_.overwriteSource);
    std::tie(controls_.singleDestination, controls_.saveAs) = pathRow(destinationLayout, "Save as");

    connect(controls_.selectSource, &QPushButton::clicked, this, &ProjectWizard::selectSource);
    connect(controls_.saveAs, &QPushButton::clicked, this, &ProjectWizard::saveDestination);
    connect(controls_.overwriteSource, &QCheckBox::toggled, this, [this] {
        applyOverwriteRule();
        updateButtons();
    });
    connect(controls_.source, &QLineEdit::textChanged, this, &ProjectWizard::updateButtons);
    connect(controls_.singleDestination, &QLineEdit::textChanged, this,
            &ProjectWizard::updateButtons);
}

void ProjectWizard::buildMultiSourcesPage(QWidget* page) {
    page->layout()->setContentsMargins(0, 0, 0, 0);
    controls_.sourceList = new SourceFileList(services_, page);
    page->layout()->addWidget(controls_.sourceList->groupBox());
    controls_.sourceList->groupBox()->show();
}

void ProjectWizard::buildDestinationPage(QWidget* page) {
    QGroupBox* box = group("Destination file ", page);
    std::tie(controls_.multiDestination, controls_.selectDestination) =
        pathRow(new QVBoxLayout(box), "Select or create");
    connect(controls_.selectDestination, &QPushButton::clicked, this,
            &ProjectWizard::selectDestination);
    connect(controls_.multiDestination, &QLineEdit::textChanged, this,
            &ProjectWizard::updateButtons);
}

void ProjectWizard::buildRangePage(QWidget* page) {
    QGroupBox* box = formatGroup("Header tag range", page);
    auto* layout = new QVBoxLayout(box);
    controls_.rangeFrom = new QComboBox(box);
    controls_.rangeTo = new QComboBox(box);
    for (std::string_view level : headingLevels) {
        controls_.rangeFrom->addItem(qtText(level));
        controls_.rangeTo->addItem(qtText(level));
    }
    auto* row = new QHBoxLayout;
    row->addWidget(plainLabel("From", box));
    row->addWidget(controls_.rangeFrom);
    row->addSpacing(12);
    row->addWidget(plainLabel("to", box));
    row->addWidget(controls_.rangeTo);
    row->addStretch(1);
    layout->addLayout(row);
    controls_.processTitle =
        new QCheckBox(QStringLiteral("Put page titles [<title> tag] to TOC"), box);
    layout->addWidget(controls_.processTitle);
}

void ProjectWizard::buildStylePage(QWidget* page) {
    QGroupBox* box = formatGroup("Style options", page);
    auto* layout = new QVBoxLayout(box);
    // the numbering caption is too long for one line at most font sizes: a label that wraps
    // stands beside the box and toggles it like the box's own caption
    controls_.processNumbering = new QCheckBox(box);
    // two fixed lines: a wrapping label would not make the window tall enough for itself
    controls_.numberingCaption = plainLabel(
        "Process numbering in decimal notation [like \"1.4.2.\"].\nInserted both into TOC items "
        "and headings.",
        box);
    controls_.numberingCaption->installEventFilter(this);
    controls_.processNumbering->setAccessibleName(
        controls_.numberingCaption->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
    auto* numberingRow = new QHBoxLayout;
    numberingRow->addWidget(controls_.processNumbering, 0, Qt::AlignTop);
    numberingRow->addWidget(controls_.numberingCaption, 1);
    layout->addLayout(numberingRow);
    controls_.insertLocalToc = new QCheckBox(
        QStringLiteral("Insert local TOC into each source file [somewhere at the top of the file]"),
        box);
    layout->addWidget(controls_.insertLocalToc);
    controls_.anchorStyle = new QComboBox(box);
    controls_.anchorStyle->addItem(QStringLiteral("Named anchors <a name=\"...\">"));
    controls_.anchorStyle->addItem(QStringLiteral("HTML5 ids <h2 id=\"...\">"));
    auto* anchorStyleLabel = new QLabel(QStringLiteral("Anchor st&yle:"), box);
    anchorStyleLabel->setBuddy(controls_.anchorStyle);
    auto* anchorStyleRow = new QHBoxLayout;
    anchorStyleRow->addWidget(anchorStyleLabel);
    anchorStyleRow->addWidget(controls_.anchorStyle);
    anchorStyleRow->addStretch(1);
    layout->addLayout(anchorStyleRow);
    layout->addWidget(plainLabel(
        "Named anchors' attributes [inserted into header tags]. Format: name=\"value\". ", box));
    controls_.anchorAttributes = new QLineEdit(box);
    controls_.anchorAttributes->setToolTip(
        QStringLiteral("Put here attributes' text like name=\"value\""));
    layout->addWidget(controls_.anchorAttributes);
    // the attributes go into named anchors only
    connect(controls_.anchorStyle, &QComboBox::currentIndexChanged, controls_.anchorAttributes,
            [this] {
                controls_.anchorAttributes->setEnabled(controls_.anchorStyle->currentIndex() == 0);
            });
    layout->addWidget(plainLabel(
        "Indent. Text value or HTML code prepended before TOC item depending on its level.", box));
    controls_.indent = new QLineEdit(box);
    controls_.indent->setToolTip(QStringLiteral(
        "This value can be used in a template, but it is not required and is optional"));
    layout->addWidget(controls_.indent);
}

void ProjectWizard::buildTemplatePage(QWidget* page) {
    QGroupBox* box = formatGroup("TOC template", page);
    auto* layout = new QHBoxLayout(box);
    controls_.templateList = new QComboBox(box);
    controls_.templateList->setMinimumContentsLength(24);
    // "Edit template" has no action in the wizard
    controls_.editTemplate = new QPushButton(QStringLiteral("Edit template"), box);
    controls_.templateDescription = plainLabel("Template description", box);
    QFont linkFont = controls_.templateDescription->font();
    linkFont.setUnderline(true);
    controls_.templateDescription->setFont(linkFont);
    controls_.templateDescription->setForegroundRole(QPalette::Link);
    controls_.templateDescription->setCursor(Qt::PointingHandCursor);
    controls_.templateDescription->setToolTip(
        QStringLiteral("Click to view a description of the template selected"));
    controls_.templateDescription->installEventFilter(this);
    // reached with Tab and opened with Space or Enter, the focus shown as a dotted frame
    controls_.templateDescription->setFocusPolicy(Qt::StrongFocus);
    controls_.templateDescription->setStyleSheet(
        QStringLiteral("QLabel { border: 1px solid transparent; }"
                       "QLabel:focus { border: 1px dotted palette(link); }"));
    layout->addWidget(controls_.templateList, 1);
    layout->addWidget(controls_.editTemplate);
    layout->addWidget(controls_.templateDescription);
}

void ProjectWizard::buildFinishedPage(QWidget* page) {
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    layout->addWidget(plainLabel("You will be brought to the main menu now.", page));
    const std::string_view lines[] = {
        "To build TOC for the file[s] you have selected use \"hammer\" button",
        "To save project settings you have specified, use \"floppy\" button",
    };
    // the toolbar's build and save images
    const char* pictures[] = {buildIconResource, saveIconResource};
    for (size_t i = 0; i < controls_.finishedPictures.size(); ++i) {
        auto* picture = new QLabel(page);
        picture->setPixmap(QIcon(QString::fromLatin1(pictures[i])).pixmap(16, 16));
        controls_.finishedPictures[i] = picture;
        auto* row = new QHBoxLayout;
        row->addWidget(picture);
        row->addWidget(plainLabel(lines[i], page), 1);
        layout->addLayout(row);
    }
}

void ProjectWizard::buildOpenPage(QWidget* page) {
    QGroupBox* box = group("Select project file ", page);
    auto* layout = new QVBoxLayout(box);
    controls_.projectFile = new QLineEdit(box);
    controls_.selectProject = new QPushButton(QStringLiteral("Select"), box);
    editRow(layout, controls_.projectFile, controls_.selectProject);
    connect(controls_.selectProject, &QPushButton::clicked, this,
            &ProjectWizard::selectProjectFile);
    connect(controls_.projectFile, &QLineEdit::textChanged, this, &ProjectWizard::updateButtons);
}

void ProjectWizard::initialise(WizardHost host) {
    host_ = std::move(host);
    controls_.sourceList->setOwner(services_);
    // "Next >" of Multiple sources follows the list
    controls_.sourceList->setChangeNotification([this] { updateButtons(); });
    // filled once: re-reading the catalogue later does not refill it
    if (host_.catalogue != nullptr) fillTemplateList(*controls_.templateList, *host_.catalogue);
    if (controls_.templateList->count() > 0) controls_.templateList->setCurrentIndex(0);
}

void ProjectWizard::showWelcomePage() {
    reset();
    showPage(WizardPage::welcome);
}

void ProjectWizard::showModePage() {
    showPage(WizardPage::mode);
}

void ProjectWizard::start(WizardPage page) {
    reset();
    showPage(page);
    // a failed Open from this wizard's own Open page restarts it while it is showing
    if (!isVisible()) showModal();
}

void ProjectWizard::showModal() {
    adjustSize();
    const QSize size = sizeHint().expandedTo(QSize(clientWidth, clientHeight));
    resize(size);
    const WindowGeometry place =
        initialGeometry({}, services_.screenSize(), size.width(), size.height());
    move(place.left, place.top);
    setWindowModality(Qt::ApplicationModal);
    show();
    activateWindow();
}

WizardState ProjectWizard::state() const {
    const WizardControls& c = controls_;
    WizardState state;
    state.newProject = c.newProject->isChecked();
    state.singleFile = c.singleFile->isChecked();
    state.source = pathOf(c.source);
    state.overwriteSource = c.overwriteSource->isChecked();
    state.singleDestination = pathOf(c.singleDestination);
    state.sources = c.sourceList->paths();
    state.multiDestination = pathOf(c.multiDestination);
    state.rangeFrom = c.rangeFrom->currentIndex();
    state.rangeTo = c.rangeTo->currentIndex();
    state.processTitle = c.processTitle->isChecked();
    state.processNumbering = c.processNumbering->isChecked();
    state.insertLocalToc = c.insertLocalToc->isChecked();
    state.anchorStyle = c.anchorStyle->currentIndex() == 1 ? anchor_kind::id : anchor_kind::name;
    state.anchorAttributes = plainText(c.anchorAttributes->text());
    state.indent = plainText(c.indent->text());
    state.templateIndex = c.templateList->currentIndex();
    state.projectFile = pathOf(c.projectFile);
    return state;
}

void ProjectWizard::reset() {
    putState(WizardState{});
}

void ProjectWizard::putState(const WizardState& state) {
    const WizardControls& c = controls_;
    c.newProject->setChecked(state.newProject);
    c.openExisting->setChecked(!state.newProject);
    c.singleFile->setChecked(state.singleFile);
    c.multipleFiles->setChecked(!state.singleFile);
    setPath(c.source, state.source);
    c.overwriteSource->setChecked(state.overwriteSource);
    setPath(c.singleDestination, state.singleDestination);
    c.sourceList->setPaths(state.sources);
    setPath(c.multiDestination, state.multiDestination);
    c.rangeFrom->setCurrentIndex(state.rangeFrom);
    c.rangeTo->setCurrentIndex(state.rangeTo);
    c.processTitle->setChecked(state.processTitle);
    c.processNumbering->setChecked(state.processNumbering);
    c.insertLocalToc->setChecked(state.insertLocalToc);
    c.anchorStyle->setCurrentIndex(state.anchorStyle == anchor_kind::id ? 1 : 0);
    c.anchorAttributes->setText(qtText(state.anchorAttributes.view()));
    c.indent->setText(qtText(state.indent.view()));
    c.templateList->setCurrentIndex(state.templateIndex);
    setPath(c.projectFile, state.projectFile);
    applyModeVisibility();
    applyOverwriteRule();
    updateButtons();
}

void ProjectWizard::showPage(WizardPage page) {
    page_ = page;
    if (page == WizardPage::open_project) controls_.projectFile->clear();
    controls_.pages->setCurrentIndex(static_cast<int>(page));
    const PageFlow flow = wizardFlow(page, state());
    controls_.title->setText(qtText(flow.title));
    controls_.quickHelp->setPlainText(qtMessageText(flow.help));
    updateButtons();
}

void ProjectWizard::updateButtons() {
    const PageFlow flow = wizardFlow(page_, state());
    controls_.forward->setText(forwardCaption(flow.forwardCaption));
    controls_.forward->setEnabled(flow.forwardEnabled);
    controls_.back->setVisible(flow.hasBack);
}

void ProjectWizard::applyModeVisibility() {
    // hidden boxes keep their values; normalisation drops page titles of a single file
    const bool multiple = !controls_.singleFile->isChecked();
    controls_.processTitle->setVisible(multiple);
    controls_.insertLocalToc->setVisible(multiple);
}

void ProjectWizard::applyOverwriteRule() {
    const bool ownDestination = !controls_.overwriteSource->isChecked();
    controls_.singleDestination->setEnabled(ownDestination);
    controls_.saveAs->setEnabled(ownDestination);
}

void ProjectWizard::goForward() {
    const PageFlow flow = wizardFlow(page_, state());
    if (!flow.forwardEnabled) return;
    switch (flow.action) {
        case ForwardAction::go:
            showPage(flow.forward);
            break;
        case ForwardAction::finish_new:
            finishNewProject();
            showPage(flow.forward);
            break;
        case ForwardAction::close:
            accept();
            break;
        case ForwardAction::finish_open:
            finishOpenProject();
            break;
    }
}

void ProjectWizard::goBack() {
    const PageFlow flow = wizardFlow(page_, state());
    if (!flow.hasBack) return;
    if (flow.back == WizardPage::welcome) {
        showWelcomePage();
    } else {
        showPage(flow.back);
    }
}

void ProjectWizard::finishNewProject() {
    if (host_.project == nullptr || host_.catalogue == nullptr) return;
    takeWizardIntoProject(state(), *host_.catalogue, *host_.project);
    // the main window's caption and project file name stay as they are until a save
    if (host_.showProject) host_.showProject();
}

void ProjectWizard::finishOpenProject() {
    if (!host_.openProject) return;
    const byte_string path = pathOf(controls_.projectFile);
    // on failure the main window has put this wizard on its Mode page, where it stays
    if (host_.openProject(path.view())) accept();
}

FileDialogRequest ProjectWizard::makeRequest(std::string_view title, std::string_view startPath) {
    FileDialogRequest request;
    request.title.assign(byte_string(title));
    if (!startPath.empty()) dialogFolder_ = folderOfPath(startPath);
    request.initialFolder = dialogFolder_;
    return request;
}

void ProjectWizard::selectSource() {
    const byte_string source = pathOf(controls_.source);
    FileDialogRequest request = makeRequest("Open source file for building ToC", source.view());
    addHtmlFilters(request);
    request.openMode = OpenMode::existing_file;
    if (services_.fileDialogOpen(request)) setPath(controls_.source, request.chosenPath());
    updateButtons();
}

void ProjectWizard::saveDestination() {
    byte_string start = pathOf(controls_.singleDestination);
    if (start.is_empty()) start = pathOf(controls_.source);
    FileDialogRequest request = makeRequest("Save file with inserted ToC as", start.view());
    addHtmlFilters(request);
    request.defaultExtension.assign(".html");
    if (services_.fileDialogSave(request))
        setPath(controls_.singleDestination, request.chosenPath());
    updateButtons();
}

void ProjectWizard::selectDestination() {
    byte_string start = pathOf(controls_.multiDestination);
    if (start.is_empty()) start = controls_.sourceList->firstPath();
    FileDialogRequest request = makeRequest("Open or create file that will hold ToC", start.view());
    addHtmlFilters(request);
    request.defaultExtension.assign(".html");
    // the destination may be a new file
    if (services_.fileDialogOpen(request))
        setPath(controls_.multiDestination, request.chosenPath());
}

void ProjectWizard::selectProjectFile() {
    FileDialogRequest request = makeRequest("Open project settings file", {});
    request.addFilter("TOC Files (*.toc)", "*.toc");
    request.addFilter("Text Files (*.txt)", "*.txt");
    request.addFilter("All Files (*.*)", "*.*");
    request.openMode = OpenMode::existing_file;
    if (services_.fileDialogOpen(request)) setPath(controls_.projectFile, request.chosenPath());
}

void ProjectWizard::describeTemplate() {
    if (host_.catalogue == nullptr || host_.templateDescriptionBox == nullptr) return;
    showTemplateDescription(*host_.templateDescriptionBox, *host_.catalogue,
                            controls_.templateList->currentIndex(), services_);
}

bool ProjectWizard::eventFilter(QObject* watched, QEvent* event) {
    const bool leftClick = event->type() == QEvent::MouseButtonRelease &&
                           static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    const bool keyPress = event->type() == QEvent::KeyPress &&
                          (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space ||
                           static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                           static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
    if ((leftClick || keyPress) && watched == controls_.templateDescription) {
        describeTemplate();
        return true;
    }
    if (leftClick && watched == controls_.numberingCaption) {
        controls_.processNumbering->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

#include "source_file_list.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <unordered_set>

#include "qt_text.h"
#include "settings.h"

namespace {

constexpr int pathRole = Qt::UserRole;
constexpr std::string_view listHint = "To rearrange you can drag and drop items";

// The list with the drag and key handling of SourceFileList: only drags that started in this list
// are taken, and a drop moves one item through `onDrop` instead of Qt's own item move.
class SourceListView final : public QListWidget {
  public:
    SourceListView(QWidget* parent, std::function<void(QPoint)> onDrop,
                   std::function<void()> onDelete)
        : QListWidget(parent), onDrop_(std::move(onDrop)), onDelete_(std::move(onDelete)) {}

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!isOwnDrag(event)) return;
        QListWidget::dragEnterEvent(event);
        event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!isOwnDrag(event)) return;
        // the base class draws the drop indicator
        QListWidget::dragMoveEvent(event);
        event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        if (!isOwnDrag(event)) return;
        onDrop_(event->position().toPoint());
        // no move action goes back to the drag: it would delete the selected items
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            onDelete_();
            event->accept();
            return;
        }
        QListWidget::keyPressEvent(event);
    }

  private:
    // Refuses a drag that started elsewhere.
    bool isOwnDrag(QDropEvent* event) {
        if (event->source() == this) return true;
        event->ignore();
        return false;
    }

    std::function<void(QPoint)> onDrop_;
    std::function<void()> onDelete_;
};

byte_string itemPath(const QListWidgetItem* item) {
    const QByteArray bytes = item->data(pathRole).toByteArray();
    return byte_string(bytes.constData(), static_cast<int32_t>(bytes.size()));
}

QPushButton* makeButton(QWidget* parent, const char* caption, QStyle::StandardPixmap icon) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    button->setMinimumWidth(105);
    return button;
}

}  // namespace

ListMove moveUpStep(int32_t first, int32_t selected) {
    if (first <= 0 || selected <= 0) return {};
    return {first - 1, first - 1 + selected};
}

ListMove moveDownStep(int32_t first, int32_t selected, int32_t count) {
    if (first < 0 || selected <= 0 || first + selected > count - 1) return {};
    return {first + selected, first};
}

ListMove dropStep(int32_t dragged, int32_t target) {
    if (dragged < 0 || target < 0 || dragged == target) return {};
    return {dragged, target};
}

std::vector<int32_t> duplicateIndices(const std::vector<byte_string>& texts) {
    std::vector<int32_t> indices;
    std::unordered_set<std::string_view> seen;
    seen.reserve(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!seen.insert(texts[i].view()).second) indices.push_back(static_cast<int32_t>(i));
    }
    return indices;
}

SourceFileList::SourceFileList(PlatformServices& services, QWidget* parent)
    : QGroupBox(parent), services_(&services) {
    dialog_.title = "Add files";
    dialog_.addFilter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    dialog_.addFilter("All Files (*.*)", "*.*");
    dialog_.openMode = OpenMode::existing_files;

    list_ = new SourceListView(
        this, [this](QPoint position) { dropAt(position); }, [this] { deleteFiles(); });
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setDragEnabled(true);
    list_->setAcceptDrops(true);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDropIndicatorShown(true);
    list_->setToolTip(qtText(listHint));
    list_->setStatusTip(qtText(listHint));
    list_->setMinimumSize(240, 143);
    // the selection stays visible while the buttons have the focus
    QPalette palette = list_->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list_->setPalette(palette);

    auto* panel = new QWidget(this);
    add_ = makeButton(panel, "&Add Files", QStyle::SP_FileIcon);
    delete_ = makeButton(panel, "&Delete Files", QStyle::SP_TrashIcon);
    up_ = makeButton(panel, "Move &Up", QStyle::SP_ArrowUp);
    down_ = makeButton(panel, "Move Do&wn", QStyle::SP_ArrowDown);
    auto* buttons = new QVBoxLayout(panel);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    // the move buttons form their own pair
    buttons->addSpacing(12);
    buttons->addWidget(up_);
    buttons->addWidget(down_);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(panel);

    connect(add_, &QPushButton::clicked, this, &SourceFileList::addFiles);
    connect(delete_, &QPushButton::clicked, this, &SourceFileList::deleteFiles);
    connect(up_, &QPushButton::clicked, this, &SourceFileList::moveUp);
    connect(down_, &QPushButton::clicked, this, &SourceFileList::moveDown);
    connect(list_, &QListWidget::itemSelectionChanged, this, &SourceFileList::updateButtons);

    setHidden(true);
    ready_ = true;
    updateButtons();
}

SourceFileList::~SourceFileList() {
    ready_ = false;
    disconnect(list_, nullptr, this, nullptr);
}

std::vector<byte_string> SourceFileList::paths() const {
    std::vector<byte_string> texts;
    texts.reserve(static_cast<size_t>(list_->count()));
    for (int row = 0; row < list_->count(); ++row)
        texts.push_back(itemPath(list_->item(row)));
    return texts;
}

void SourceFileList::setPaths(const std::vector<byte_string>& paths) {
    list_->clear();
    for (const byte_string& path : paths)
        appendPath(path);
}

int32_t SourceFileList::count() const {
    return list_->count();
}

byte_string SourceFileList::firstPath() const {
    return list_->count() == 0 ? byte_string() : itemPath(list_->item(0));
}

void SourceFileList::clear() {
    list_->clear();
}

void SourceFileList::addFiles() {
    if (list_->count() > 0) {
        byte_string folder = folderOfPath(firstPath().view());
        if (!folder.is_empty()) dialog_.initialFolder = std::move(folder);
    }
    if (!services_->fileDialogOpen(dialog_)) return;
    for (const QString& path : dialog_.chosen)
        appendPath(plainPath(path));
    removeDuplicates();
    notifyChange();
}

void SourceFileList::deleteFiles() {
    if (list_->selectedItems().isEmpty()) {
        services_->warn("No items selected");
    } else if (services_->ask("Are you sure you wish to remove selected files from the list?")) {
        for (int row = list_->count() - 1; row >= 0; --row) {
            if (list_->item(row)->isSelected()) delete list_->takeItem(row);
        }
        notifyChange();
    }
    list_->setFocus();
}

void SourceFileList::moveUp() {
    const auto [first, selected] = selection();
    apply(moveUpStep(first, selected));
    list_->setFocus();
}

void SourceFileList::moveDown() {
    const auto [first, selected] = selection();
    apply(moveDownStep(first, selected, list_->count()));
    list_->setFocus();
}

void SourceFileList::dropAt(QPoint position) {
    const QListWidgetItem* target = list_->itemAt(position);
    const ListMove move = dropStep(selection().first, target ? list_->row(target) : -1);
    if (!move.isMove()) return;
    apply(move);
    list_->item(move.to)->setSelected(false);
}

void SourceFileList::updateButtons() {
    if (!ready_) return;
    const auto [first, selected] = selection();
    const int32_t last = list_->count() - 1;
    delete_->setEnabled(selected > 0);
    up_->setEnabled(selected > 0 && !list_->item(0)->isSelected());
    down_->setEnabled(selected > 0 && !list_->item(last)->isSelected());
    add_->setEnabled(true);
}

std::pair<int32_t, int32_t> SourceFileList::selection() const {
    int32_t first = -1;
    int32_t selected = 0;
    for (int row = 0; row < list_->count(); ++row) {
        if (!list_->item(row)->isSelected()) continue;
        if (first < 0) first = row;
        ++selected;
    }
    return {first, selected};
}

void SourceFileList::apply(ListMove move) {
    if (!move.isMove()) return;
    QListWidgetItem* item = list_->takeItem(move.from);
    list_->insertItem(move.to, item);
}

void SourceFileList::appendPath(const byte_string& path) {
    auto* item = new QListWidgetItem(qtPath(path.view()));
    item->setData(pathRole, QByteArray(path.data(), path.length()));
    list_->addItem(item);
}

void SourceFileList::removeDuplicates() {
    const std::vector<int32_t> rows = duplicateIndices(paths());
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        delete list_->takeItem(*row);
}

void SourceFileList::notifyChange() {
    if (notify_) notify_();
}

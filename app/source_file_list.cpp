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

constexpr int path_role = Qt::UserRole;
constexpr std::string_view list_hint = "To rearrange you can drag and drop items";

// The list with the drag and key handling of SourceFileList: only drags that started in this list
// are taken, and a drop moves one item through `on_drop` instead of Qt's own item move.
class source_list_view final : public QListWidget {
  public:
    source_list_view(QWidget* parent, std::function<void(QPoint)> on_drop,
                     std::function<void()> on_delete)
        : QListWidget(parent), on_drop_(std::move(on_drop)), on_delete_(std::move(on_delete)) {}

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        QListWidget::dragEnterEvent(event);
        event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        // the base class draws the drop indicator
        QListWidget::dragMoveEvent(event);
        event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        on_drop_(event->position().toPoint());
        // no move action goes back to the drag: it would delete the selected items
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            on_delete_();
            event->accept();
            return;
        }
        QListWidget::keyPressEvent(event);
    }

  private:
    std::function<void(QPoint)> on_drop_;
    std::function<void()> on_delete_;
};

byte_string item_path(const QListWidgetItem* item) {
    const QByteArray bytes = item->data(path_role).toByteArray();
    return byte_string(bytes.constData(), static_cast<int32_t>(bytes.size()));
}

QPushButton* make_button(QWidget* parent, const char* caption, QStyle::StandardPixmap icon) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    button->setMinimumWidth(105);
    return button;
}

}  // namespace

list_move move_up_step(int32_t first, int32_t selected) {
    if (first <= 0 || selected <= 0) return {};
    return {first - 1, first - 1 + selected};
}

list_move move_down_step(int32_t first, int32_t selected, int32_t count) {
    if (first < 0 || selected <= 0 || first + selected > count - 1) return {};
    return {first + selected, first};
}

list_move drop_step(int32_t dragged, int32_t target) {
    if (dragged < 0 || target < 0 || dragged == target) return {};
    return {dragged, target};
}

std::vector<int32_t> duplicate_indices(const std::vector<byte_string>& texts) {
    std::vector<int32_t> indices;
    std::unordered_set<std::string_view> seen;
    seen.reserve(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!seen.insert(texts[i].view()).second) indices.push_back(static_cast<int32_t>(i));
    }
    return indices;
}

SourceFileList::SourceFileList(platform_services& services, QWidget* parent)
    : QGroupBox(parent), services_(&services) {
    dialog_.title = "Add files";
    dialog_.add_filter("HTML Files (*.htm; *.html; *.shtml)", "*.htm;*.html;*.shtml");
    dialog_.add_filter("All Files (*.*)", "*.*");
    dialog_.set_flag(dialog_allow_multiple);
    dialog_.set_flag(dialog_file_must_exist);
    dialog_.set_flag(dialog_hide_read_only);

    list_ = new source_list_view(
        this, [this](QPoint position) { drop_at(position); }, [this] { delete_files(); });
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setDragEnabled(true);
    list_->setAcceptDrops(true);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDropIndicatorShown(true);
    list_->setToolTip(qt_text(list_hint));
    list_->setStatusTip(qt_text(list_hint));
    list_->setMinimumSize(240, 143);
    // the selection stays visible while the buttons have the focus
    QPalette palette = list_->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list_->setPalette(palette);

    auto* panel = new QWidget(this);
    add_ = make_button(panel, "Add Files", QStyle::SP_FileIcon);
    delete_ = make_button(panel, "Delete Files", QStyle::SP_TrashIcon);
    up_ = make_button(panel, "Move Up", QStyle::SP_ArrowUp);
    down_ = make_button(panel, "Move Down", QStyle::SP_ArrowDown);
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

    connect(add_, &QPushButton::clicked, this, &SourceFileList::add_files);
    connect(delete_, &QPushButton::clicked, this, &SourceFileList::delete_files);
    connect(up_, &QPushButton::clicked, this, &SourceFileList::move_up);
    connect(down_, &QPushButton::clicked, this, &SourceFileList::move_down);
    connect(list_, &QListWidget::itemSelectionChanged, this, &SourceFileList::update_buttons);

    setHidden(true);
    ready_ = true;
    update_buttons();
}

SourceFileList::~SourceFileList() {
    ready_ = false;
    disconnect(list_, nullptr, this, nullptr);
}

std::vector<byte_string> SourceFileList::paths() const {
    std::vector<byte_string> texts;
    texts.reserve(static_cast<size_t>(list_->count()));
    for (int row = 0; row < list_->count(); ++row)
        texts.push_back(item_path(list_->item(row)));
    return texts;
}

void SourceFileList::set_paths(const std::vector<byte_string>& paths) {
    list_->clear();
    for (const byte_string& path : paths)
        append_path(path);
}

int32_t SourceFileList::count() const {
    return list_->count();
}

byte_string SourceFileList::first_path() const {
    return list_->count() == 0 ? byte_string() : item_path(list_->item(0));
}

void SourceFileList::clear() {
    list_->clear();
}

void SourceFileList::add_files() {
    if (list_->count() > 0) {
        byte_string folder = folder_of_path(first_path().view());
        if (!folder.is_empty()) dialog_.initial_folder = std::move(folder);
    }
    if (!services_->file_dialog_open(dialog_)) return;
    byte_string folder = dialog_.result;
    std::vector<byte_string> names;
    if (split_multi_selection(folder, names) == 0) {
        append_path(folder);
    } else {
        for (const byte_string& name : names) {
            byte_string path = folder;
            // a selection in the root comes as "/" and must not give "//name"
            if (!path.ends_with("/")) path.push('/');
            path.append(name);
            append_path(path);
        }
    }
    remove_duplicates();
    notify_change();
}

void SourceFileList::delete_files() {
    if (list_->selectedItems().isEmpty()) {
        services_->warn("No items selected");
    } else if (services_->ask("Are you sure you wish to remove selected files from the list?")) {
        for (int row = list_->count() - 1; row >= 0; --row) {
            if (list_->item(row)->isSelected()) delete list_->takeItem(row);
        }
        notify_change();
    }
    list_->setFocus();
}

void SourceFileList::move_up() {
    const auto [first, selected] = selection();
    apply(move_up_step(first, selected));
    list_->setFocus();
}

void SourceFileList::move_down() {
    const auto [first, selected] = selection();
    apply(move_down_step(first, selected, list_->count()));
    list_->setFocus();
}

void SourceFileList::drop_at(QPoint position) {
    const QListWidgetItem* target = list_->itemAt(position);
    const list_move move = drop_step(selection().first, target ? list_->row(target) : -1);
    if (!move.is_move()) return;
    apply(move);
    list_->item(move.to)->setSelected(false);
}

void SourceFileList::update_buttons() {
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

void SourceFileList::apply(list_move move) {
    if (!move.is_move()) return;
    QListWidgetItem* item = list_->takeItem(move.from);
    list_->insertItem(move.to, item);
}

void SourceFileList::append_path(const byte_string& path) {
    auto* item = new QListWidgetItem(qt_path(path.view()));
    item->setData(path_role, QByteArray(path.data(), path.length()));
    list_->addItem(item);
}

void SourceFileList::remove_duplicates() {
    const std::vector<int32_t> rows = duplicate_indices(paths());
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        delete list_->takeItem(*row);
}

void SourceFileList::notify_change() {
    if (notify_) notify_();
}

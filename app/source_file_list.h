#pragma once

#include <QGroupBox>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "byte_string.h"
#include "platform_services.h"

class QListWidget;
class QPushButton;

// One reordering step of the list: the item at `from` is taken out and put back so that it ends
// at index `to`. `from` is -1 when nothing moves.
struct ListMove {
    int32_t from = -1;
    int32_t to = -1;

    bool isMove() const { return from >= 0; }
};

// Move Up of a selection whose first item is `first` and which holds `selected` items: the item
// just above it goes below the block of `selected` items starting at `first`. Nothing moves when
// nothing is selected or the first item is selected.
ListMove moveUpStep(int32_t first, int32_t selected);
// Move Down in a list of `count` items: the item just below the block goes above it. Nothing
// moves when nothing is selected or the block already reaches the end.
ListMove moveDownStep(int32_t first, int32_t selected, int32_t count);
// The dragged item (the first selected one) dropped on `target`: it lands at the target's index,
// so after the target when moved down and before it when moved up. Nothing moves without a
// target (-1, empty space) or when the item is dropped on itself.
ListMove dropStep(int32_t dragged, int32_t target);

// Indices of the items to remove so that every text is left once: the first of equal texts stays.
// Texts compare byte for byte. Ascending.
std::vector<int32_t> duplicateIndices(const std::vector<byte_string>& texts);

// The source files of a multi-file project, in the order their pages take in the common TOC: a
// group box holding a one-column list of full paths and the buttons "Add Files", "Delete Files",
// "Move Up" and "Move Down". Items are reordered by the buttons or by dragging one item within
// the list; the Delete key deletes the selection. Every box and dialog goes through the platform
// services.
//
// The group is hidden at creation; the owner sets its caption and shows it. The paths are the
// program's bytes and come back from paths() exactly as they were set or chosen.
class SourceFileList : public QGroupBox {
    Q_OBJECT

  public:
    // `services` must outlive the list.
    explicit SourceFileList(PlatformServices& services, QWidget* parent = nullptr);
    ~SourceFileList() override;

    // The container for the owner's layout, caption and visibility (the list itself).
    QGroupBox* groupBox() { return this; }
    // Boxes and dialogs go to `services` from now on, modal to whatever window it serves.
    void setOwner(PlatformServices& services) { services_ = &services; }
    // Called after Add Files and Delete Files changed the list, also when an added file was
    // already listed; never after a move, setPaths or clear.
    void setChangeNotification(std::function<void()> notify) { notify_ = std::move(notify); }

    // The paths in list order.
    std::vector<byte_string> paths() const;
    // Replaces all items by `paths`, in order. No change notification.
    void setPaths(const std::vector<byte_string>& paths);
    int32_t count() const;
    // The path of item 0; empty when the list is empty.
    byte_string firstPath() const;
    // Removes all items. No change notification.
    void clear();

    // The commands of the buttons and the Delete key.
    void addFiles();
    void deleteFiles();
    void moveUp();
    void moveDown();
    // Drops the first selected item at `position` in the list's viewport, as a drag within the
    // list ends. Dropping on empty space does nothing.
    void dropAt(QPoint position);

    QListWidget* list() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* upButton() const { return up_; }
    QPushButton* downButton() const { return down_; }

  private:
    void updateButtons();
    // Index and number of the selected items; the index is -1 without a selection.
    std::pair<int32_t, int32_t> selection() const;
    void apply(ListMove move);
    void appendPath(const byte_string& path);
    void removeDuplicates();
    void notifyChange();

    PlatformServices* services_;
    std::function<void()> notify_;
    FileDialogRequest dialog_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* delete_;
    QPushButton* up_;
    QPushButton* down_;
    // Selection changes update the buttons only while set: not before the buttons exist, nor
    // while the items go away with the list.
    bool ready_ = false;
};

#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <string_view>

#include "byte_string.h"
#include "platform_services.h"

class QWidget;

// The help pages beside the program: index 0 "help.html", index N (1 to 12) "help/N.html".
constexpr int32_t help_page_count = 13;

// What every window of the tool shares: where the program lives, its help pages and the
// maker's web page. Every box and shell action goes through the platform services.
class qorv_generic_ui_class : public QMainWindow {
    Q_OBJECT

  public:
    // `services` must outlive the window.
    explicit qorv_generic_ui_class(platform_services& services, QWidget* parent = nullptr);

    // The folder holding the data directory and the help pages; a '/' is added when missing.
    void set_program_directory(std::string_view directory);
    const byte_string& program_directory() const { return program_directory_; }
    // Fills the help-page table.
    void build_help_table();
    // The table's entry, relative to the program directory; an index below 0 or above 12
    // gives entry 0.
    const byte_string& help_page(int32_t index) const;

    // Opens program directory + `name` with the desktop's program; "Can't open help file: " and
    // the path when that fails.
    bool open_help_file(std::string_view name);
    // Opens the help page of a help context number.
    bool open_help(int32_t index);
    // Opens the page for the widget that has the focus: its help context or that of the nearest
    // parent with one, up to its window; 0 when none has one.
    bool open_context_help(const QWidget* focused);
    // Opens the maker's web page; "Can't go to QORV web site" when that fails.
    bool open_web_site();

    // Help context numbers are kept on the widgets, so that any window opens its pages through
    // this handler.
    static void set_help_context(QWidget* widget, int32_t index);
    // The number of `widget` or of its nearest parent within the same window; 0 when none has
    // one.
    static int32_t help_context_of(const QWidget* widget);

  protected:
    platform_services& services_;

  private:
    byte_string program_directory_;
    std::array<byte_string, help_page_count> help_pages_;
};

#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "platform_services.h"
#include "toc_project.h"

// What the shell keeps between runs: the settings file (remember flag, recent projects, window
// geometry, last dialog folder) and the format-options file (a project file whose eight format
// values start the next run). Both live in the user's configuration folder, never beside the
// program, and are replaced as a whole when written.

constexpr std::string_view settingsFileName = "qtvn_set.txt";
constexpr std::string_view formatOptionsFileName = "qtvn_format.txt";
constexpr int32_t recentCapacity = 5;
// The main window's size when no geometry was saved.
constexpr int32_t designWidth = 628;
constexpr int32_t designHeight = 420;

// "$XDG_CONFIG_HOME/qtvn2/", or "$HOME/.config/qtvn2/" when that variable is unset, empty or
// relative. Ends with '/'; the folder need not exist yet.
byte_string configDirectory();

// Recently left project files, most recent first.
class RecentProjects {
  public:
    // Puts `path` first and drops every later entry with the same bytes (case counts), then
    // keeps the first five. An empty path changes nothing.
    void remember(std::string_view path);
    // The list as read from the settings file; kept as it is, even beyond five entries, until
    // the next remember.
    void assign(std::vector<byte_string> entries) { entries_ = std::move(entries); }
    const std::vector<byte_string>& entries() const { return entries_; }

  private:
    std::vector<byte_string> entries_;
};

// The submenu "&Recent Projects": five fixed slots.
struct RecentSlot {
    bool visible = false;
    byte_string caption;
};
struct RecentMenu {
    bool enabled = false;
    std::array<RecentSlot, recentCapacity> items;
};

// Disabled when the list is empty; slot i (from 1) shows "&i " and entry i, with every '&' of
// the path doubled so that it reads as text, not as an accelerator; slots past the list hidden.
RecentMenu makeRecentMenu(const RecentProjects& recent);
// The slot number a caption stands for, read from its second character; 0 when that is no digit
// from 1 to 5.
int32_t recentSlotNumber(std::string_view caption);

struct WindowGeometry {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The saved geometry as it is when its width and height are both non-zero, else a window of
// width by height centred on the screen (at 0 along a side where it is larger than the screen).
WindowGeometry initialGeometry(const WindowGeometry& saved, ScreenExtent screen,
                               int32_t width = designWidth, int32_t height = designHeight);

// The folder a dialog starting from `path` opens in: the text before its last '/' (the root for
// "/name"), trailing '/' removed; empty for a bare name.
byte_string folderOfPath(std::string_view path);

// What the main window hands over when it is destroyed.
struct ExitState {
    std::string_view currentProjectFile;
    bool rememberFormatOptions = false;  // the menu's check mark at this moment
    WindowGeometry geometry;             // the window's left, top, width and height now
    // Takes the controls into the project record and returns it; called only when the format
    // options are remembered.
    std::function<toc_project&()> takeControls;
};

// The settings the main window owns while it runs, with their files.
class ShellSettings {
  public:
    // The files lie in `directory` (ending with '/'), which is created on the first write.
    explicit ShellSettings(std::string_view directory);

    // Reads the settings file. Every setting goes back to its default first; a missing file
    // leaves them so silently, one that cannot be opened or parsed with "Can't read settings
    // file". A key
    // given twice counts once, by its first value; "recent" gives the list in file order.
    bool read(PlatformServices& services);
    // Writes the settings file; on failure shows "Can't write settings file" and returns false.
    bool write(PlatformServices& services);
    // Copies the nine format values of the format-options file into `project` (heading range,
    // anchor style and attributes, titles, numbering, template, indent, local TOC) and nothing
    // else.
    // False, silently and with `project` untouched, when the file cannot be loaded.
    bool readFormatOptions(toc_project& project) const;
    // Saves `project` as the format options; on failure shows a warning without text.
    bool writeFormatOptions(toc_project& project, PlatformServices& services);

    // The exit sequence: the current project becomes the first recent entry, the settings are
    // written with the state's flag and geometry, then, when the flag is on, the controls are
    // taken into the project and saved as the format options.
    void writeAtExit(PlatformServices& services, const ExitState& state);

    // The folder a file dialog opens in. A non-empty `startPath` first makes its folder the
    // last dialog folder; the last dialog folder is returned, trailing '/' removed.
    byte_string dialogFolder(std::string_view startPath);

    byte_string settingsPath() const;
    byte_string formatOptionsPath() const;

    bool rememberFormatOptions = false;
    RecentProjects recent;
    WindowGeometry geometry;
    byte_string lastDialogFolder;

  private:
    // Creates the folder and the missing ones above it.
    [[nodiscard]] bool makeDirectory() const;

    byte_string directory_;
};

// Loads the project file at `path` into `project` with its paths made absolute. On failure
// shows "Can't read project file: " with the path and why (missing, unreadable, or the line and
// column of the fault), and `project` stays as it was.
[[nodiscard]] bool loadProjectFile(std::string_view path, toc_project& project,
                                   PlatformServices& services);

// Opens the project of recent slot `slot` (1 to 5) into `project` with loadProjectFile. On
// failure the list, `currentProjectFile` and the project's fields stay.
// On success the project being left
// (`currentProjectFile`) is remembered first, then `currentProjectFile` becomes the opened
// path; the caller shows the project, the caption and "Recent project is opened". False for a
// slot without an entry.
[[nodiscard]] bool openRecentProject(int32_t slot, ShellSettings& settings, toc_project& project,
                                     byte_string& currentProjectFile, PlatformServices& services);

#include "settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "files.h"
#include "tag_value_file.h"

namespace {

constexpr std::string_view keyRemember = "save_format_on_exit";
constexpr std::string_view keyRecent = "recent";
constexpr std::string_view keyLeft = "top_left";
constexpr std::string_view keyTop = "top_top";
constexpr std::string_view keyWidth = "form_width";
constexpr std::string_view keyHeight = "form_height";
constexpr std::string_view keyFolder = "last_opened_dir";

int32_t firstNumber(const tag_value_file& file, std::string_view key) {
    template_value value;
    return file.values.first_value(key, value) ? value.to_integer() : 0;
}

byte_string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return byte_string(home);
    // a service started without HOME
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return byte_string(entry->pw_dir);
    }
    return {};
}

bool is_directory(std::string_view path) {
    file_info info;
    return file_stat(info, path) && info.is_directory != 0;
}

}  // namespace

byte_string configDirectory() {
    byte_string directory;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        directory.assign(config);
    } else {
        directory = homeDirectory();
        if (!directory.ends_with("/")) directory.push('/');
        directory.append(".config");
    }
    if (!directory.ends_with("/")) directory.push('/');
    directory.append("qtvn2/");
    return directory;
}

void RecentProjects::remember(std::string_view path) {
    if (path.empty()) return;
    std::vector<byte_string> kept;
    kept.reserve(entries_.size() + 1);
    kept.emplace_back(path);
    for (byte_string& entry : entries_) {
        bool seen = false;
        for (const byte_string& earlier : kept)
            seen = seen || earlier == entry;
        if (!seen) kept.push_back(std::move(entry));
    }
    if (kept.size() > recentCapacity) kept.resize(recentCapacity);
    entries_ = std::move(kept);
}

RecentMenu makeRecentMenu(const RecentProjects& recent) {
    RecentMenu menu;
    const std::vector<byte_string>& entries = recent.entries();
    menu.enabled = !entries.empty();
    for (int32_t i = 0; i < recentCapacity; ++i) {
        RecentSlot& slot = menu.items[i];
        if (static_cast<size_t>(i) >= entries.size()) continue;
        slot.visible = true;
        slot.caption.push('&');
        slot.caption.push(static_cast<char>('1' + i));
        slot.caption.push(' ');
        byte_string path(entries[i]);
        path.replace_char('&', "&&");
        slot.caption.append(path);
    }
    return menu;
}

int32_t recentSlotNumber(std::string_view caption) {
    if (caption.size() < 2 || caption[1] < '1' || caption[1] > '0' + recentCapacity) return 0;
    return caption[1] - '0';
}

WindowGeometry initialGeometry(const WindowGeometry& saved, ScreenExtent screen, int32_t width,
                               int32_t height) {
    if (saved.width != 0 && saved.height != 0) return saved;
    WindowGeometry centred;
    centred.width = width;
    centred.height = height;
    centred.left = width > screen.width ? 0 : (screen.width - width) / 2;
    centred.top = height > screen.height ? 0 : (screen.height - height) / 2;
    return centred;
}

byte_string folderOfPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return trimDialogFolder(path.substr(0, slash + 1));
}

ShellSettings::ShellSettings(std::string_view directory) : directory_(directory) {
    if (!directory_.is_empty() && !directory_.ends_with("/")) directory_.push('/');
}

byte_string ShellSettings::settingsPath() const {
    byte_string path(directory_);
    path.append(settingsFileName);
    return path;
}

byte_string ShellSettings::formatOptionsPath() const {
    byte_string path(directory_);
    path.append(formatOptionsFileName);
    return path;
}

bool ShellSettings::read(PlatformServices& services) {
    rememberFormatOptions = false;
    recent.assign({});
    geometry = {};
    lastDialogFolder.clear();

    // a first start has no settings file yet: the defaults, silently
    file_info info;
    if (!file_stat(info, settingsPath().view())) return true;
    tag_value_file file;
    if (!file.read(settingsPath().view()).is_ok()) {
        services.warn("Can't read settings file");
        return false;
    }
    rememberFormatOptions = firstNumber(file, keyRemember) != 0;
    std::vector<byte_string> entries;
    if (const value_list* list = file.values.find_list(keyRecent)) {
        for (const template_value& entry : *list)
            entries.emplace_back(entry.view());
    }
    recent.assign(std::move(entries));
    geometry.left = firstNumber(file, keyLeft);
    geometry.top = firstNumber(file, keyTop);
    geometry.width = firstNumber(file, keyWidth);
    geometry.height = firstNumber(file, keyHeight);
    template_value folder;
    if (file.values.first_value(keyFolder, folder)) lastDialogFolder = byte_string(folder.view());
    return true;
}

bool ShellSettings::write(PlatformServices& services) {
    tag_value_file file;
    named_lists& values = file.values;
    values.add_value(keyRemember, template_value(rememberFormatOptions ? 1 : 0));
    for (const byte_string& entry : recent.entries())
        values.add_value(keyRecent, template_value(entry));
    values.add_value(keyLeft, template_value(geometry.left));
    values.add_value(keyTop, template_value(geometry.top));
    values.add_value(keyWidth, template_value(geometry.width));
    values.add_value(keyHeight, template_value(geometry.height));
    values.add_value(keyFolder, template_value(lastDialogFolder));
    if (!makeDirectory() || !file.write(settingsPath().view()).is_ok()) {
        services.warn("Can't write settings file");
        return false;
    }
    return true;
}

bool ShellSettings::readFormatOptions(toc_project& project) const {
    toc_project saved;
    if (!saved.load(formatOptionsPath().view()).is_ok()) return false;
    project.range_from = saved.range_from;
    project.range_to = saved.range_to;
    project.named_anchor_attributes = saved.named_anchor_attributes;
    project.anchor_style = saved.anchor_style;
    project.process_title = saved.process_title;
    project.process_numbering = saved.process_numbering;
    project.template_file = saved.template_file;
    project.indent = saved.indent;
    project.insert_local_toc = saved.insert_local_toc;
    return true;
}

bool ShellSettings::writeFormatOptions(toc_project& project, PlatformServices& services) {
    if (!makeDirectory() || !project.save(formatOptionsPath().view()).is_ok()) {
        services.warn("");
        return false;
    }
    return true;
}

void ShellSettings::writeAtExit(PlatformServices& services, const ExitState& state) {
    recent.remember(state.currentProjectFile);
    rememberFormatOptions = state.rememberFormatOptions;
    geometry = state.geometry;
    // a failure is shown and the program still ends, so the format options are tried too
    (void)write(services);
    if (rememberFormatOptions && state.takeControls) {
        (void)writeFormatOptions(state.takeControls(), services);
    }
}

byte_string ShellSettings::dialogFolder(std::string_view startPath) {
    if (!startPath.empty()) lastDialogFolder = folderOfPath(startPath);
    return trimDialogFolder(lastDialogFolder.view());
}

bool ShellSettings::makeDirectory() const {
    if (directory_.is_empty()) return false;
    if (is_directory(directory_.view())) return true;
    // every level from the top, as create_dir makes one at a time
    const std::string_view path = directory_.view();
    for (size_t end = 1; end < path.size(); ++end) {
        if (path[end] != '/') continue;
        const std::string_view level = path.substr(0, end);
        if (!is_directory(level) && !create_dir(level)) return false;
    }
    return is_directory(directory_.view());
}

bool loadProjectFile(std::string_view path, toc_project& project, PlatformServices& services) {
    const result read = project.load(path);
    if (read.is_ok()) {
        project.make_paths_absolute();
        return true;
    }
    byte_string message("Can't read project file: ");
    message.append(path);
    message.append("\r\n");
    file_info info;
    if (!file_stat(info, path)) {
        message.append("The file doesn't exist.");
    } else if (info.is_directory) {
        message.append("It is a folder.");
    } else if (read.message().view().starts_with("Can't open file ")) {
        message.append("The file can't be read.");
    } else {
        // the reader's line, column and fault
        message.append(read.message());
    }
    services.warn(message.view());
    return false;
}

bool openRecentProject(int32_t slot, ShellSettings& settings, toc_project& project,
                       byte_string& currentProjectFile, PlatformServices& services) {
    const std::vector<byte_string>& entries = settings.recent.entries();
    if (slot < 1 || static_cast<size_t>(slot) > entries.size()) return false;
    // a copy: remembering the project left reorders the list
    const byte_string path(entries[slot - 1]);
    if (!loadProjectFile(path.view(), project, services)) return false;
    settings.recent.remember(currentProjectFile.view());
    currentProjectFile = path;
    return true;
}

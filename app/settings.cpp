#include "settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "files.h"
#include "tag_value_file.h"

namespace {

constexpr std::string_view key_remember = "save_format_on_exit";
constexpr std::string_view key_recent = "recent";
constexpr std::string_view key_left = "top_left";
constexpr std::string_view key_top = "top_top";
constexpr std::string_view key_width = "form_width";
constexpr std::string_view key_height = "form_height";
constexpr std::string_view key_folder = "last_opened_dir";

int32_t first_number(const tag_value_file& file, std::string_view key) {
    template_value value;
    return file.values.first_value(key, value) ? value.to_integer() : 0;
}

byte_string home_directory() {
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

byte_string config_directory() {
    byte_string directory;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        directory.assign(config);
    } else {
        directory = home_directory();
        if (!directory.ends_with("/")) directory.push('/');
        directory.append(".config");
    }
    if (!directory.ends_with("/")) directory.push('/');
    directory.append("qtvn2/");
    return directory;
}

void recent_projects::remember(std::string_view path) {
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
    if (kept.size() > recent_capacity) kept.resize(recent_capacity);
    entries_ = std::move(kept);
}

recent_menu make_recent_menu(const recent_projects& recent) {
    recent_menu menu;
    const std::vector<byte_string>& entries = recent.entries();
    menu.enabled = !entries.empty();
    for (int32_t i = 0; i < recent_capacity; ++i) {
        recent_slot& slot = menu.items[i];
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

int32_t recent_slot_number(std::string_view caption) {
    if (caption.size() < 2 || caption[1] < '1' || caption[1] > '0' + recent_capacity) return 0;
    return caption[1] - '0';
}

window_geometry initial_geometry(const window_geometry& saved, screen_extent screen, int32_t width,
                                 int32_t height) {
    if (saved.width != 0 && saved.height != 0) return saved;
    window_geometry centred;
    centred.width = width;
    centred.height = height;
    centred.left = width > screen.width ? 0 : (screen.width - width) / 2;
    centred.top = height > screen.height ? 0 : (screen.height - height) / 2;
    return centred;
}

byte_string folder_of_path(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return trim_dialog_folder(path.substr(0, slash + 1));
}

shell_settings::shell_settings(std::string_view directory) : directory_(directory) {
    if (!directory_.is_empty() && !directory_.ends_with("/")) directory_.push('/');
}

byte_string shell_settings::settings_path() const {
    byte_string path(directory_);
    path.append(settings_file_name);
    return path;
}

byte_string shell_settings::format_options_path() const {
    byte_string path(directory_);
    path.append(format_options_file_name);
    return path;
}

bool shell_settings::read(platform_services& services) {
    remember_format_options = false;
    recent.assign({});
    geometry = {};
    last_dialog_folder.clear();

    tag_value_file file;
    if (!file.read(settings_path().view()).is_ok()) {
        services.warn("Can't read settings file");
        return false;
    }
    remember_format_options = first_number(file, key_remember) != 0;
    std::vector<byte_string> entries;
    if (const value_list* list = file.values.find_list(key_recent)) {
        for (const template_value& entry : *list)
            entries.emplace_back(entry.view());
    }
    recent.assign(std::move(entries));
    geometry.left = first_number(file, key_left);
    geometry.top = first_number(file, key_top);
    geometry.width = first_number(file, key_width);
    geometry.height = first_number(file, key_height);
    template_value folder;
    if (file.values.first_value(key_folder, folder))
        last_dialog_folder = byte_string(folder.view());
    return true;
}

bool shell_settings::write(platform_services& services) {
    tag_value_file file;
    named_lists& values = file.values;
    values.add_value(key_remember, template_value(remember_format_options ? 1 : 0));
    for (const byte_string& entry : recent.entries())
        values.add_value(key_recent, template_value(entry));
    values.add_value(key_left, template_value(geometry.left));
    values.add_value(key_top, template_value(geometry.top));
    values.add_value(key_width, template_value(geometry.width));
    values.add_value(key_height, template_value(geometry.height));
    values.add_value(key_folder, template_value(last_dialog_folder));
    if (!make_directory() || !file.write(settings_path().view()).is_ok()) {
        services.warn("Can't write settings file");
        return false;
    }
    return true;
}

bool shell_settings::read_format_options(toc_project& project) const {
    toc_project saved;
    if (!saved.load(format_options_path().view()).is_ok()) return false;
    project.range_from = saved.range_from;
    project.range_to = saved.range_to;
    project.named_anchor_attributes = saved.named_anchor_attributes;
    project.process_title = saved.process_title;
    project.process_numbering = saved.process_numbering;
    project.template_file = saved.template_file;
    project.indent = saved.indent;
    project.insert_local_toc = saved.insert_local_toc;
    return true;
}

bool shell_settings::write_format_options(toc_project& project, platform_services& services) {
    if (!make_directory() || !project.save(format_options_path().view()).is_ok()) {
        services.warn("");
        return false;
    }
    return true;
}

void shell_settings::write_at_exit(platform_services& services, const exit_state& state) {
    recent.remember(state.current_project_file);
    remember_format_options = state.remember_format_options;
    geometry = state.geometry;
    // a failure is shown and the program still ends, so the format options are tried too
    (void)write(services);
    if (remember_format_options && state.take_controls) {
        (void)write_format_options(state.take_controls(), services);
    }
}

byte_string shell_settings::dialog_folder(std::string_view start_path) {
    if (!start_path.empty()) last_dialog_folder = folder_of_path(start_path);
    return trim_dialog_folder(last_dialog_folder.view());
}

bool shell_settings::make_directory() const {
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

bool open_recent_project(int32_t slot, shell_settings& settings, toc_project& project,
                         byte_string& current_project_file, platform_services& services) {
    const std::vector<byte_string>& entries = settings.recent.entries();
    if (slot < 1 || static_cast<size_t>(slot) > entries.size()) return false;
    // a copy: remembering the project left reorders the list
    const byte_string path(entries[slot - 1]);
    if (!project.load(path.view()).is_ok()) {
        byte_string message("Can't read project file: ");
        message.append(path);
        services.warn(message.view());
        return false;
    }
    settings.recent.remember(current_project_file.view());
    current_project_file = path;
    return true;
}

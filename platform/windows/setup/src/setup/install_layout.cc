#include "setup/install_layout.h"

namespace ombrelin::setup {

std::string join_path(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !path.ends_with('\\') && !path.ends_with('/')) {
    path.push_back('\\');
  }
  path.append(name);
  return path;
}

InstallLayout install_layout(std::string_view local_app_data) {
  InstallLayout layout;
  layout.product_folder = join_path(local_app_data, "Ombrelin Revozad");
  layout.folder = join_path(layout.product_folder, "native-host");
  layout.agent = join_path(layout.folder, kAgentFileName);
  layout.manifest = join_path(layout.folder, "com.ombrelin.revozad.agent.json");
  layout.config = join_path(layout.folder, "native-host-config.json");
  return layout;
}

}  // namespace ombrelin::setup

#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vocab/dialect_plugin.h"

namespace sarfan {

// The tokenizer's plugins by name (byte-exact, case-sensitive), kept in the order of
// loading: a replaced plugin keeps its place. Decoding without a dialect tries plugins in
// this order. Registries hold a handful of plugins, so lookups scan.
class PluginRegistry {
 public:
  bool empty() const { return plugins_.empty(); }
  const DialectPlugin* find(std::string_view name) const {
    for (const auto& plugin : plugins_) {
      if (plugin->name() == name) return plugin.get();
    }
    return nullptr;
  }
  // Registers `plugin`, replacing one of the same name in its place.
  void insert(std::unique_ptr<const DialectPlugin> plugin) {
    for (auto& slot : plugins_) {
      if (slot->name() == plugin->name()) {
        slot = std::move(plugin);
        return;
      }
    }
    plugins_.push_back(std::move(plugin));
  }
  void erase(std::string_view name) {
    for (auto it = plugins_.begin(); it != plugins_.end(); ++it) {
      if ((*it)->name() == name) {
        plugins_.erase(it);
        return;
      }
    }
  }
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    names.reserve(plugins_.size());
    for (const auto& plugin : plugins_) names.push_back(plugin->name());
    return names;
  }
  const std::vector<std::unique_ptr<const DialectPlugin>>& plugins() const { return plugins_; }

 private:
  std::vector<std::unique_ptr<const DialectPlugin>> plugins_;
};

}  // namespace sarfan

// Sets (or removes) an environment variable for a scope and puts the old value back after it.
#pragma once

#include <optional>
#include <string>

class ScopedEnv {
 public:
  // value nullopt: the variable is removed for the scope.
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

#include "core/messages.hpp"

namespace fiamma {

std::optional<Language> language_named(std::string_view name) {
  if (name == "it") return Language::it;
  if (name == "en") return Language::en;
  return std::nullopt;
}

std::string_view Arg::in(Language l) const {
  if (msg_) return msg_->in(l);
  if (message_ != nullptr) return message_->in(l);
  return plain_;
}

std::string fill(Msg m, Language l, std::initializer_list<Arg> args) {
  const std::string_view text = m.in(l);
  std::string out;
  out.reserve(text.size() + 16 * args.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{' && i + 2 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' && text[i + 2] == '}') {
      const std::size_t k = static_cast<std::size_t>(text[i + 1] - '1');
      if (k < args.size()) out += (args.begin() + k)->in(l);
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

Message say(Msg m, std::initializer_list<Arg> args) {
  return Message::pair(fill(m, Language::it, args), fill(m, Language::en, args));
}

}  // namespace fiamma

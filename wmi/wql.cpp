// The WQL the collectors send, and the objects and result sets that answer it.
#include "wmi/wql.h"

#include <algorithm>

#include "platform/text.h"

namespace harvix {

namespace {

class InstanceObject : public WmiObject {
  public:
    InstanceObject(const Instance* inst, const std::vector<std::string>* selected)
        : inst_(inst), selected_(selected) {}
    WmiValue Get(const std::string& name) const override {
        const std::string want = AsciiLower(name);
        bool allowed = selected_->empty() ||
                       std::find(selected_->begin(), selected_->end(), want) != selected_->end();
        if (allowed)
            for (const auto& [prop, value] : inst_->Properties)
                if (EqualsNoCase(prop, want)) return value;
        throw HarvixError("Propriété introuvable : " + name);
    }

  private:
    const Instance* inst_;
    const std::vector<std::string>* selected_;
};

class InstanceResults : public WmiResultSet {
  public:
    InstanceResults(std::function<std::vector<Instance>()> produce,
                    std::vector<std::string> selected)
        : produce_(std::move(produce)), selected_(std::move(selected)) {}

    const WmiObject* Next() override {
        if (!started_) {
            // Like WMI with "return immediately": errors surface when the walk starts.
            started_ = true;
            instances_ = produce_();
            pos_ = 0;
        } else {
            ++pos_;
        }
        if (pos_ >= instances_.size()) return nullptr;
        current_.emplace(&instances_[pos_], &selected_);
        return &*current_;
    }

  private:
    std::function<std::vector<Instance>()> produce_;
    std::vector<std::string> selected_;
    std::vector<Instance> instances_;
    std::size_t pos_ = 0;
    bool started_ = false;
    std::optional<InstanceObject> current_;
};

// ASCII letters, digits and underscores, whatever the user's locale.
bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Names, "*" and ","; white space only separates them. nullopt for any other character.
std::optional<std::vector<std::string>> Tokens(const std::string& wql) {
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < wql.size();) {
        unsigned char c = wql[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '*' || c == ',') {
            tokens.emplace_back(1, static_cast<char>(c));
            ++i;
        } else if (IsNameChar(c)) {
            std::size_t j = i;
            while (j < wql.size() && IsNameChar(wql[j])) ++j;
            tokens.push_back(wql.substr(i, j - i));
            i = j;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

}  // namespace

std::optional<Query> ParseQuery(const std::string& wql) {
    auto parsed = Tokens(wql);
    if (!parsed) return std::nullopt;
    const std::vector<std::string>& tokens = *parsed;
    auto isName = [](const std::string& t) {
        const std::string l = AsciiLower(t);
        return !t.empty() && t != "*" && t != "," && l != "select" && l != "from";
    };
    std::size_t k = 0;
    if (tokens.size() < 4 || !EqualsNoCase(tokens[k++], "select")) return std::nullopt;
    Query query;
    if (tokens[k] == "*") {
        ++k;
    } else {
        for (;;) {
            if (k >= tokens.size() || !isName(tokens[k])) return std::nullopt;
            query.Selected.push_back(AsciiLower(tokens[k++]));
            if (k >= tokens.size() || tokens[k] != ",") break;
            ++k;
        }
    }
    if (k + 2 != tokens.size() || !EqualsNoCase(tokens[k], "from") || !isName(tokens[k + 1]))
        return std::nullopt;
    query.ClassName = tokens[k + 1];
    return query;
}

std::unique_ptr<WmiResultSet> LazyResults(std::function<std::vector<Instance>()> produce,
                                          std::vector<std::string> selected) {
    return std::make_unique<InstanceResults>(std::move(produce), std::move(selected));
}

}  // namespace harvix

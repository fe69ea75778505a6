#include "wmi_double.h"

namespace harvix::testing {

WmiValue FakeObject::Get(const std::string& name) const {
    if (Unreadable.count(name)) throw HarvixError("read failed: " + name);
    auto it = Values.find(name);
    if (it == Values.end()) throw HarvixError("Propriété introuvable : " + name);
    return it->second;
}

namespace {

class FakeResults : public WmiResultSet {
  public:
    explicit FakeResults(const FakeQuery* q) : q_(q) {}
    const WmiObject* Next() override {
        if (!q_ || q_->FailStart) throw HarvixError("Classe non valide");
        if (pos_ == q_->FailAdvanceAfter && pos_ > 0) throw HarvixError("advance failed");
        if (pos_ >= static_cast<int>(q_->Objects.size())) return nullptr;
        return &q_->Objects[static_cast<std::size_t>(pos_++)];
    }

  private:
    const FakeQuery* q_;
    int pos_ = 0;
};

}  // namespace

std::unique_ptr<WmiResultSet> FakeService::ExecQuery(const std::string& wql, int flags) {
    Log.push_back(wql);
    Flags.push_back(flags);
    auto it = Queries.find(wql);
    return std::make_unique<FakeResults>(it == Queries.end() ? nullptr : &it->second);
}

std::shared_ptr<FakeService> InstallFake() {
    auto fake = std::make_shared<FakeService>();
    WmiService = fake;
    return fake;
}

}  // namespace harvix::testing

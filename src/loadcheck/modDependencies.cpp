#include "loadcheck/modDependencies.h"

#include <algorithm>
#include <mutex>
#include <deque>
#include <map>
#include <memory>

#include "filecheck/modPeExports.h"
#include "filecheck/modPeImports.h"
#include "filecheck/modPeResources.h"
#include "loadcheck/modApiSets.h"
#include "loadcheck/modDllSearch.h"
#include "loadcheck/modSideBySide.h"
#include "platform/ErrorReport.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "platform/Text.h"
#include "platform/Threads.h"

namespace modDependencies {

// The types a scan's shared reads hold: of this file alone, though not in an anonymous
// namespace, which a member of the header's class may not name.
namespace files {

// What one read of a file tells: its headers, exports, imports and manifest.
struct Facts {
    std::optional<std::int32_t> unreadable;  // it could not be opened or read: why
    std::wstring damage;                     // why the loader refuses it; empty when it does not
    std::uint16_t machine = 0;
    modPeExports::Exports exports;
    bool exportsDamaged = false;
    modPeImports::Imports imports;                  // not read of Windows' own DLLs
    std::optional<modManifest::Manifest> manifest;  // its DLL manifest, where it has one
};

// Files' facts, by their folded paths; Windows' own read for their exports only, unless
// a walk of their own read them whole. Walks on other threads may share them.
class KnownFiles {
public:
    // What is known of the file; nothing when it is not, or not as much as is asked.
    std::shared_ptr<const Facts> Find(const std::wstring& key, bool exportsOnly) const {
        const std::lock_guard<platform::threads::Lock> held(lock_);
        const auto known = files_.find(key);
        return known != files_.end() && (known->second.whole || exportsOnly) ? known->second.facts : nullptr;
    }
    void Keep(const std::wstring& key, std::shared_ptr<const Facts> facts, bool whole) {
        const std::lock_guard<platform::threads::Lock> held(lock_);
        auto& known = files_[key];
        if (!known.whole) known = {std::move(facts), whole};
    }

private:
    struct KnownFile {
        std::shared_ptr<const Facts> facts;
        bool whole = false;
    };
    mutable platform::threads::Lock lock_;
    std::map<std::wstring, KnownFile> files_;
};

}  // namespace files

using files::Facts;
using files::KnownFiles;

namespace {

namespace filenames = platform::filenames;
using filenames::FolderOf;
using modPeFile::Damage;

std::wstring HeaderDamageText(Damage damage) {
    return damage == Damage::NotPe ? L"it is not a Windows program file" : L"its program headers are damaged";
}

Facts FactsOf(const modPeFile::Image& image, bool system) {
    Facts facts;
    facts.machine = image.Machine();
    if (image.HeaderDamage() != Damage::None) {
        if (image.HeaderDamage() == Damage::ReadFailed) {
            facts.unreadable = platform::file::LastFailure();
        } else {
            facts.damage = HeaderDamageText(image.HeaderDamage());
        }
        return facts;
    }
    auto table = modPeExports::ReadExports(image);
    facts.exports = std::move(table.exports);
    facts.exportsDamaged = table.damage != Damage::None;
    if (!system) {
        facts.imports = modPeImports::ReadImports(image);
        const auto manifest =
            modPeResources::Find(image, modPeResources::DllManifestResource, modManifest::MaxManifestSize);
        if (manifest.damage == Damage::None) {
            facts.manifest = modManifest::ReadManifest(manifest.bytes);
            if (!facts.manifest->damage.empty()) facts.damage = L"its side-by-side manifest: " + facts.manifest->damage;
        } else if (manifest.damage != Damage::NoResource) {
            facts.damage = L"its resources are damaged";
        }
        if (facts.imports.damage == Damage::ImportsDamaged) facts.damage = L"its import table runs out of the file";
    }
    if (image.ReadFailed()) facts.unreadable = platform::file::LastFailure();
    return facts;
}

Facts FactsOfFile(const std::wstring& path, bool system) {
    const modPeFile::DiskFile file(path);
    if (!file.Opened()) {
        Facts facts;
        facts.unreadable = file.OpenFailure();
        return facts;
    }
    const modPeFile::Image image(file.File());
    return FactsOf(image, system);
}

}  // namespace

struct SharedReads::Held {
    KnownFiles files;
    modDllSearch::Folders folders;
    platform::threads::Lock lock;                                                    // for the two below
    std::map<std::uint16_t, modDllSearch::SearchOrder> machineOrders;                // by the program's processor
    std::map<std::uint16_t, std::unique_ptr<modSideBySide::Assemblies>> assemblies;  // by the program's processor
};

SharedReads::SharedReads() : held_(std::make_unique<Held>()) {}
SharedReads::~SharedReads() = default;
modDllSearch::Folders& SharedReads::Folders() { return held_->folders; }

namespace {

modDllSearch::SearchOrder OrderFor(const std::wstring& controlPath, const modProgramView::ProgramView& view,
                                   SharedReads::Held* shared) {
    if (!shared) return modDllSearch::SearchOrderFor(controlPath, view);
    const std::lock_guard<platform::threads::Lock> held(shared->lock);
    auto known = shared->machineOrders.find(view.machine);
    if (known == shared->machineOrders.end()) {
        known = shared->machineOrders.emplace(view.machine, modDllSearch::MachineOrder(view)).first;
    }
    return modDllSearch::ForControl(known->second, controlPath);
}

modSideBySide::Assemblies& SharedAssemblies(SharedReads::Held& shared, const modProgramView::ProgramView& view) {
    const std::lock_guard<platform::threads::Lock> held(shared.lock);
    auto& assemblies = shared.assemblies[view.machine];
    if (!assemblies) assemblies = std::make_unique<modSideBySide::Assemblies>(view);
    return *assemblies;
}

class Walk {
public:
    Walk(const std::wstring& controlPath, const modProgramView::ProgramView& view, SharedReads::Held* shared)
        : view_(view),
          search_(OrderFor(controlPath, view, shared), view, shared ? &shared->folders : nullptr),
          ownAssemblies_(view),
          assemblies_(shared ? SharedAssemblies(*shared, view) : ownAssemblies_),
          files_(shared ? shared->files : ownFiles_) {}

    Dependencies Run(const std::wstring& controlPath, const modPeFile::Image& control) {
        nodes_.emplace_back(filenames::NameOf(controlPath), controlPath);
        order_.push_back({true, 0});
        const std::wstring key = platform::text::Folded(controlPath);
        auto facts = files_.Find(key, false);
        if (!facts) facts = std::make_shared<const Facts>(FactsOf(control, false));
        files_.Keep(key, facts, true);
        Judge(0, *facts);
        nodes_[0].facts = facts;
        if (nodes_[0].problem == Problem::None) Visit(0);
        return Result();
    }

private:
    struct Importer {
        std::size_t from;
        bool delayed;
    };
    struct Node {
        std::wstring name;
        std::optional<std::wstring> path;
        Problem problem = Problem::None;
        std::optional<std::int32_t> error;
        std::wstring damage;
        std::optional<modManifest::AssemblyIdentity> assembly;
        bool listed = true;  // an API set Windows maps is not
        std::shared_ptr<const Facts> facts;
        std::vector<Importer> importers;

        Node(std::wstring nodeName, std::optional<std::wstring> nodePath)
            : name(std::move(nodeName)), path(std::move(nodePath)) {}
    };
    // An import that fails though its DLL loads: an export it lacks, or a delay-import
    // entry that cannot be read.
    struct Failure {
        Importer importer;
        Dependency entry;
    };
    struct Step {
        bool node;
        std::size_t index;
    };
    // A DLL an importer's assembly holds.
    struct FromAssembly {
        std::wstring path;
        modManifest::AssemblyIdentity identity;
    };

    void Judge(std::size_t at, const Facts& facts) {
        Node& node = nodes_[at];
        if (facts.unreadable) {
            node.problem = Problem::Unreadable;
            node.error = facts.unreadable;
        } else if (!facts.damage.empty()) {
            node.problem = Problem::Damaged;
            node.damage = facts.damage;
        }
    }

    // What the file of node `at` needs: its assemblies, then its imports in order, each
    // new DLL read and visited in turn.
    void Visit(std::size_t at) {
        const auto facts = nodes_[at].facts;
        const std::wstring folder = FolderOf(*nodes_[at].path);
        std::map<std::wstring, FromAssembly> context;
        if (facts->manifest) {
            for (const auto& dependency : facts->manifest->dependencies) {
                const auto assembly = assemblies_.Find(dependency.identity, folder);
                if (!assembly) {
                    if (!dependency.optional) AddMissingAssembly(at, dependency.identity);
                    continue;
                }
                for (const auto& dll : assembly->dlls) {
                    context[platform::text::Folded(dll)] = {filenames::AddBackslash(assembly->folder) + dll,
                                                            dependency.identity};
                }
            }
        }
        for (const auto& dll : facts->imports.dlls) {
            if (dll.damaged) {
                if (dll.delayLoaded) {
                    AddFailure({at, true}, dll.name, Problem::Damaged, L"its delay-import entry cannot be read");
                } else if (nodes_[at].problem == Problem::None) {
                    nodes_[at].problem = Problem::Damaged;
                    nodes_[at].damage = L"its import table names a DLL or a function outside the file";
                }
                continue;
            }
            Import({at, dll.delayLoaded}, dll, context);
        }
        if (facts->imports.damage == Damage::DelayImportsDamaged) {
            AddFailure({at, true}, L"", Problem::Damaged, L"its delay-import table runs out of the file");
        }
        if (facts->imports.cut) Cut(L"a file imports more than any program file does");
    }

    void Import(Importer importer, const modPeImports::ImportedDll& dll,
                const std::map<std::wstring, FromAssembly>& context) {
        const std::wstring name = modDllSearch::LoaderName(dll.name);
        const std::wstring baseName = filenames::NameOf(name);
        std::optional<std::wstring> path;
        std::optional<modManifest::AssemblyIdentity> assembly;
        std::wstring key = platform::text::Folded(baseName);
        bool otherProcessor = false;
        if (const auto held = context.find(platform::text::Folded(baseName));
            held != context.end() && !modDllSearch::NamesPath(name)) {
            path = held->second.path;
            assembly = held->second.identity;
            key = L"\\" + platform::text::Folded(*path);
        } else if (modApiSets::Provided(name, view_.version) && !modDllSearch::NamesPath(name)) {
            if (Find(key) == nodes_.size()) nodes_[AddNode(key, Node(dll.name, std::nullopt))].listed = false;
            nodes_[Find(key)].importers.push_back(importer);
            return;
        } else if (const auto known = search_.KnownDll(name)) {
            if (search_.Exists(*known)) path = known;
        } else if (Find(key) == nodes_.size()) {
            std::tie(path, otherProcessor) = Located(name);
        }

        std::size_t at = Find(key);
        if (at == nodes_.size()) {
            at = AddNode(key, Node(dll.name, path));
            nodes_[at].assembly = assembly;
            nodes_[at].importers.push_back(importer);
            Read(at, otherProcessor);
        } else {
            nodes_[at].importers.push_back(importer);
        }
        CheckFunctions(importer, dll, at);
    }

    // Where the search finds the DLL, and whether only DLLs of the other processor
    // were there. From Windows 10 the loader passes over a DLL of the other processor
    // and searches on; before it, the first DLL found is the one it loads or fails on.
    std::pair<std::optional<std::wstring>, bool> Located(const std::wstring& name) {
        const auto candidates = search_.Candidates(name);
        if (candidates.empty()) return {std::nullopt, false};
        const bool passesOver = modProgramView::AtLeast(view_.version, 10, 0);
        for (const auto& candidate : candidates) {
            const auto facts = FactsFor(candidate);
            if (!facts) return {candidate, false};  // not read: judged as not read
            if (facts->unreadable || !facts->damage.empty() ||
                modProgramView::Serves(view_, facts->machine, candidate)) {
                return {candidate, false};
            }
            if (!passesOver) return {candidate, true};
        }
        return {candidates.front(), true};
    }

    // The file's facts, read once; nothing past the walk's bounds.
    std::shared_ptr<const Facts> FactsFor(const std::wstring& path) {
        const std::wstring key = platform::text::Folded(path);
        const bool system = IsSystem(path);
        if (auto known = files_.Find(key, system)) return known;
        std::size_t& count = system ? systemFilesRead_ : filesRead_;
        const std::size_t bound = system ? MaxSystemFiles : MaxFiles;
        if (count >= bound) {
            Cut(L"the walk stopped at its bound of " + std::to_wstring(bound) +
                (system ? L" of Windows' files" : L" files"));
            return nullptr;
        }
        ++count;
        auto facts = std::make_shared<const Facts>(FactsOfFile(path, system));
        files_.Keep(key, facts, !system);
        return facts;
    }

    bool IsSystem(const std::wstring& path) const {
        return filenames::SameFileName(FolderOf(path), view_.systemFolder);
    }

    // A new node's file, judged; a file of the control's own (not Windows') visited in turn.
    void Read(std::size_t at, bool otherProcessor) {
        Node& node = nodes_[at];
        if (!node.path) {
            node.problem = Problem::Missing;
            return;
        }
        const auto facts = FactsFor(*node.path);
        if (!facts) {
            nodes_[at].listed = false;  // not judged
            return;
        }
        nodes_[at].facts = facts;
        Judge(at, *facts);
        if (nodes_[at].problem != Problem::None) return;
        if (otherProcessor || !modProgramView::Serves(view_, facts->machine, *nodes_[at].path)) {
            nodes_[at].problem = Problem::OtherProcessor;
            return;
        }
        if (!IsSystem(*nodes_[at].path)) Visit(at);
    }

    // Each function the importer asks of the DLL at node `at`; the first it lacks fails
    // the import, as it fails the loader's.
    void CheckFunctions(Importer importer, const modPeImports::ImportedDll& dll, std::size_t at) {
        const Node& node = nodes_[at];
        if (node.problem != Problem::None || !node.facts) return;
        for (const auto& function : dll.functions) {
            const auto found = function.byOrdinal ? node.facts->exports.Ordinal(function.ordinal)
                                                  : node.facts->exports.Name(function.name, function.hint);
            if (found == modPeExports::Found::Yes) continue;
            if (found == modPeExports::Found::Unknown) {
                AddFailure(importer, dll.name, Problem::Damaged, L"its export table is damaged", node.path);
            } else {
                const std::wstring what = function.byOrdinal ? L"#" + std::to_wstring(function.ordinal)
                                                             : platform::text::FromAnsi(function.name);
                AddFailure(importer, dll.name, Problem::MissingExport, L"", node.path).exportName = what;
            }
            return;
        }
    }

    void AddMissingAssembly(std::size_t at, const modManifest::AssemblyIdentity& identity) {
        const std::wstring key = L"<" + platform::text::Folded(identity.name + L" " + identity.version);
        if (Find(key) == nodes_.size()) {
            Node node(identity.name, std::nullopt);
            node.problem = Problem::MissingAssembly;
            node.assembly = identity;
            AddNode(key, std::move(node));
        }
        nodes_[Find(key)].importers.push_back({at, false});
    }

    Dependency& AddFailure(Importer importer, const std::wstring& name, Problem problem, const std::wstring& damage,
                           const std::optional<std::wstring>& path = std::nullopt) {
        Dependency entry;
        entry.name = name;
        entry.path = path;
        entry.problem = problem;
        entry.damage = damage;
        failures_.push_back({importer, std::move(entry)});
        order_.push_back({false, failures_.size() - 1});
        return failures_.back().entry;
    }

    std::size_t Find(const std::wstring& key) const {
        const auto found = byKey_.find(key);
        return found == byKey_.end() ? nodes_.size() : found->second;
    }

    std::size_t AddNode(const std::wstring& key, Node node) {
        nodes_.push_back(std::move(node));
        byKey_[key] = nodes_.size() - 1;
        order_.push_back({true, nodes_.size() - 1});
        return nodes_.size() - 1;
    }

    void Cut(const std::wstring& why) {
        if (!cut_) cut_ = why;
    }

    // The nodes the control needs at load time: those a chain of load-time imports
    // reaches. One a delay-loading importer met first is still needed at load time
    // when another importer needs it so.
    std::vector<bool> LoadTime() const {
        std::vector<bool> loadTime(nodes_.size(), false);
        loadTime[0] = true;
        for (bool grown = true; grown;) {
            grown = false;
            for (std::size_t at = 1; at < nodes_.size(); ++at) {
                if (loadTime[at]) continue;
                loadTime[at] = std::any_of(nodes_[at].importers.begin(), nodes_[at].importers.end(),
                                           [&loadTime](const Importer& i) { return !i.delayed && loadTime[i.from]; });
                grown = grown || loadTime[at];
            }
        }
        return loadTime;
    }

    Dependencies Result() const {
        const auto loadTime = LoadTime();
        Dependencies found;
        found.cut = cut_;
        for (const auto& step : order_) {
            if (!step.node) {
                const auto& failure = failures_[step.index];
                Dependency entry = failure.entry;
                entry.neededBy = nodes_[failure.importer.from].name;
                entry.delayLoaded = failure.importer.delayed || !loadTime[failure.importer.from];
                found.list.push_back(std::move(entry));
                continue;
            }
            const Node& node = nodes_[step.index];
            if (!node.listed || (step.index == 0 && node.problem == Problem::None)) continue;
            Dependency entry;
            entry.name = node.name;
            entry.path = node.path;
            entry.problem = node.problem;
            entry.error = node.error;
            if (node.error) entry.errorDescription = platform::SystemDescription(*node.error);
            entry.damage = node.damage;
            entry.assembly = node.assembly;
            entry.delayLoaded = !loadTime[step.index];
            const auto needs = std::find_if(node.importers.begin(), node.importers.end(),
                                            [&loadTime](const Importer& i) { return !i.delayed && loadTime[i.from]; });
            if (!node.importers.empty()) {
                entry.neededBy = nodes_[needs != node.importers.end() ? needs->from : node.importers.front().from].name;
            }
            found.list.push_back(std::move(entry));
        }
        return found;
    }

    const modProgramView::ProgramView& view_;
    modDllSearch::Search search_;
    modSideBySide::Assemblies ownAssemblies_;
    modSideBySide::Assemblies& assemblies_;
    std::vector<Node> nodes_;  // the control first
    std::map<std::wstring, std::size_t> byKey_;
    std::vector<Failure> failures_;
    std::vector<Step> order_;
    KnownFiles ownFiles_;
    KnownFiles& files_;
    std::size_t filesRead_ = 0, systemFilesRead_ = 0;
    std::optional<std::wstring> cut_;
};

}  // namespace

Dependencies FindDependencies(const std::wstring& controlPath, const modPeFile::Image& control,
                              const modProgramView::ProgramView& view, SharedReads* shared) {
    return Walk(controlPath, view, shared ? &shared->Get() : nullptr).Run(controlPath, control);
}

bool Blocks(const Dependency& dependency) { return dependency.problem != Problem::None && !dependency.delayLoaded; }

const Dependency* FirstProblem(const std::vector<Dependency>& dependencies, bool blocking) {
    const auto first = std::find_if(dependencies.begin(), dependencies.end(), [blocking](const auto& dependency) {
        return dependency.problem != Problem::None && Blocks(dependency) == blocking;
    });
    return first == dependencies.end() ? nullptr : &*first;
}

std::wstring ProblemText(Problem problem) {
    switch (problem) {
    case Problem::None: break;
    case Problem::Missing: return L"missing";
    case Problem::OtherProcessor: return L"other processor";
    case Problem::MissingExport: return L"missing export";
    case Problem::MissingAssembly: return L"missing assembly";
    case Problem::Unreadable: return L"unreadable";
    case Problem::Damaged: return L"damaged";
    }
    return {};
}

}  // namespace modDependencies

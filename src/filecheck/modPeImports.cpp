#include "filecheck/modPeImports.h"

#include <optional>

#include "platform/Text.h"

namespace modPeImports {

namespace {

using modPeFile::Damage;
using modPeFile::Image;

constexpr std::uint64_t ImportDescriptorSize = 20, DelayDescriptorSize = 32;
constexpr std::uint32_t RvaBased = 1;  // a delay descriptor's attribute: its addresses are RVAs, not VAs

class Reader {
public:
    Reader(const Image& image, Imports& found) : image_(image), found_(found) {}

    void ImportTable() {
        const auto table = image_.Directory(modPeFile::DirectoryIndex::Imports).rva;
        if (table == 0) return;
        for (std::uint64_t at = table;; at += ImportDescriptorSize) {
            const auto originalThunks = Field(at, Damage::ImportsDamaged);
            const auto name = Field(at + 12, Damage::ImportsDamaged);
            const auto thunks = Field(at + 16, Damage::ImportsDamaged);
            if (!originalThunks || !name || !thunks) return;
            // The loader ends the table at an entry without a name or an address table.
            if (*name == 0 || *thunks == 0) return;
            if (!Room()) return;
            ImportedDll dll;
            // The names are read from the name table where there is one: the address
            // table may be bound already.
            Fill(dll, *name, *originalThunks != 0 ? *originalThunks : *thunks, 0);
            found_.dlls.push_back(std::move(dll));
        }
    }

    void DelayImportTable() {
        const auto table = image_.Directory(modPeFile::DirectoryIndex::DelayImports).rva;
        if (table == 0) return;
        for (std::uint64_t at = table;; at += DelayDescriptorSize) {
            const auto attributes = Field(at, Damage::DelayImportsDamaged);
            const auto name = Field(at + 4, Damage::DelayImportsDamaged);
            const auto names = Field(at + 16, Damage::DelayImportsDamaged);
            if (!attributes || !name || !names) return;
            if (*name == 0) return;
            if (!Room()) return;
            ImportedDll dll;
            dll.delayLoaded = true;
            // Old linkers wrote addresses there, not RVAs.
            const std::uint64_t bias = (*attributes & RvaBased) != 0 ? 0 : image_.ImageBase();
            if (*name < bias || *names < bias) {
                dll.damaged = true;
            } else {
                Fill(dll, *name - bias, *names - bias, bias);
            }
            found_.dlls.push_back(std::move(dll));
        }
    }

private:
    // A 32-bit field of a table; nothing when it lies outside the image, which damages the table.
    std::optional<std::uint32_t> Field(std::uint64_t rva, Damage damage) {
        const auto value = image_.Get<std::uint32_t>(rva);
        if (!value && found_.damage == Damage::None) found_.damage = image_.ReadFailed() ? Damage::ReadFailed : damage;
        return value;
    }

    bool Room() {
        if (found_.dlls.size() < MaxDllEntries) return true;
        found_.cut = true;
        return false;
    }

    // A name, within the bytes the reading takes of all of them.
    std::optional<std::string> Name(std::uint64_t at) {
        auto name = image_.Text(at, MaxNameLength);
        if (name && (nameBytes_ += name->size() + 1) > MaxNameBytes) {
            found_.cut = true;
            return std::nullopt;
        }
        return name;
    }

    // A thunk: 64 bits in a PE32+ file, 32 in a PE32 one.
    std::optional<std::uint64_t> Thunk(std::uint64_t at) const {
        if (image_.Wide()) return image_.Get<std::uint64_t>(at);
        const auto thunk = image_.Get<std::uint32_t>(at);
        return thunk ? std::optional<std::uint64_t>(*thunk) : std::nullopt;
    }

    // The entry's name, then its functions from the thunks at `thunksAt` (VAs less `bias`).
    void Fill(ImportedDll& dll, std::uint64_t nameAt, std::uint64_t thunksAt, std::uint64_t bias) {
        const auto name = Name(nameAt);
        if (found_.cut) return;
        if (!name || name->empty()) {  // a DLL without a name is none the loader can load
            dll.damaged = true;
            return;
        }
        dll.name = platform::text::FromAnsi(*name);
        const std::uint64_t thunkSize = image_.Wide() ? 8 : 4;
        const std::uint64_t byOrdinal = image_.Wide() ? 1ull << 63 : 1ull << 31;
        for (std::uint64_t at = thunksAt;; at += thunkSize) {
            const auto thunk = Thunk(at);
            if (!thunk) {
                dll.damaged = true;
                return;
            }
            if (*thunk == 0) return;
            if (++functions_ > MaxFunctions) {
                found_.cut = true;
                return;
            }
            ImportedFunction function;
            if ((*thunk & byOrdinal) != 0) {
                function.byOrdinal = true;
                function.ordinal = static_cast<std::uint16_t>(*thunk & 0xFFFFu);
            } else {
                // Its hint, then its name, at the address it holds.
                const auto hint = *thunk < bias ? std::nullopt : image_.Get<std::uint16_t>(*thunk - bias);
                const auto text = hint ? Name(*thunk - bias + 2) : std::nullopt;
                if (found_.cut) return;
                if (!text) {
                    dll.damaged = true;
                    return;
                }
                function.hint = *hint;
                function.name = *text;
            }
            dll.functions.push_back(std::move(function));
        }
    }

    const Image& image_;
    Imports& found_;
    std::size_t functions_ = 0;
    std::size_t nameBytes_ = 0;
};

}  // namespace

Imports ReadImports(const modPeFile::Image& image) {
    Imports found;
    if (image.HeaderDamage() != Damage::None) {
        found.damage = image.HeaderDamage();
        return found;
    }
    Reader reader(image, found);
    reader.ImportTable();
    if (!found.cut) reader.DelayImportTable();
    return found;
}

}  // namespace modPeImports

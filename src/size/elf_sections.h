// The allocated sections of a linked ELF file, read with elfutils' libelf: ELF32 and ELF64, either
// byte order. Every offset and count the headers give is checked against the file before it is
// used, so a truncated or corrupt file ends in one error rather than in a partial report.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace ldweave {

/// One section that occupies memory in the running program (SHF_ALLOC).
struct ElfSection
{
    QByteArray name;      ///< as in the file, control characters replaced by "?"
    uint64_t address = 0; ///< run address (sh_addr)
    /// Where the contents are loaded, from the program header that holds them: the run address
    /// when no PT_LOAD header holds the section or it has no contents.
    uint64_t loadAddress = 0;
    uint64_t size = 0;
    bool hasContents = false; ///< the file holds its bytes (not SHT_NOBITS)
    /// A thread-local section without contents (.tbss): it sizes each thread's block, and at its
    /// own address the following sections lie.
    bool isThreadLocalTemplate = false;

    /// The contents are loaded at another address than the one the section runs at.
    bool isLoadedElsewhere() const { return hasContents && loadAddress != address; }
};

/// The allocated sections of the ELF image bytes, in section header order; path names the file
/// in messages. Throws HException with one complete message when the bytes are not an ELF
/// file, not a linked program, or have headers or contents that are truncated or corrupt.
std::vector<ElfSection> readElfSections(QByteArray bytes, const QString &path);

/// Reads the file at path and returns its allocated sections as readElfSections does; throws
/// HException "cannot read '<path>': <reason>" when the file cannot be read.
std::vector<ElfSection> readElfFile(const QString &path);

} // namespace ldweave

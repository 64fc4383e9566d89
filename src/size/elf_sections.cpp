// Decision: the headers are read with elfutils' libelf (gelf), which hides the four layouts of
// ELF32/ELF64 and little/big endian behind one interface. libelf 0.188 takes a section or program
// header table that lies past the end of the file for an empty one, so the tables, every loaded
// program header and every section with contents are checked against the file size here first.
#include "size/elf_sections.h"

#include "base/file_system.h"
#include "base/hexception.h"

#include <gelf.h>
#include <libelf.h>

#include <memory>

namespace ldweave {

namespace {

struct ElfCloser
{
    void operator()(Elf *elf) const { elf_end(elf); }
};
using ElfHandle = std::unique_ptr<Elf, ElfCloser>;

// Whether count entries of entrySize bytes from offset lie inside a file of fileSize bytes.
bool fitsFile(uint64_t offset, uint64_t count, uint64_t entrySize, uint64_t fileSize)
{
    return offset <= fileSize && (entrySize == 0 || count <= (fileSize - offset) / entrySize);
}

// Whether [address, address + size) fits the address space of the file's class (for ELF64,
// with an end that a 64-bit number can hold).
bool fitsAddressSpace(uint64_t address, uint64_t size, bool is64)
{
    if (!is64)
        return address <= UINT32_MAX && size <= (uint64_t(1) << 32) - address;
    return size <= UINT64_MAX - address;
}

QByteArray printableName(const char *name)
{
    QByteArray printable(name);
    for (char &character : printable) {
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F)
            character = '?';
    }
    return printable;
}

// Reads one file's headers; every failure throws with the file's name.
class ElfReader
{
public:
    ElfReader(QByteArray bytes, const QString &path)
        : m_bytes(std::move(bytes))
        , m_quotedPath(u'\'' + path + u'\'')
    {}

    std::vector<ElfSection> read();

private:
    /// Throws the message with "%1" replaced by the quoted path (and "%2" by detail).
    [[noreturn]] void fail(const QString &text) const { throw HException(text.arg(m_quotedPath)); }
    [[noreturn]] void fail(const QString &text, const QString &detail) const
    {
        throw HException(text.arg(m_quotedPath, detail));
    }
    void readElfHeader();
    size_t checkedSectionCount();
    void readLoadHeaders();
    ElfSection readSection(const GElf_Shdr &header, const char *name) const;

    QByteArray m_bytes; ///< the whole file; libelf reads it in place
    QString m_quotedPath;
    ElfHandle m_elf;
    GElf_Ehdr m_header{};
    bool m_is64 = false;
    std::vector<GElf_Phdr> m_loads; ///< the PT_LOAD program headers, in file order
};

void ElfReader::readElfHeader()
{
    if (!m_bytes.startsWith("\x7F" "ELF"))
        fail(QStringLiteral("%1 is not an ELF file"));
    static const bool libraryReady = elf_version(EV_CURRENT) != EV_NONE;
    if (libraryReady)
        m_elf.reset(elf_memory(m_bytes.data(), size_t(m_bytes.size())));
    if (!m_elf || elf_kind(m_elf.get()) != ELF_K_ELF || !gelf_getehdr(m_elf.get(), &m_header))
        fail(QStringLiteral("the ELF header of %1 is truncated or corrupt"));
    m_is64 = gelf_getclass(m_elf.get()) == ELFCLASS64;
    // Decision: only linked programs are read. The sections of an object file all start at 0,
    // and a report of them would look like a program that fits, whatever it holds.
    if (m_header.e_type != ET_EXEC && m_header.e_type != ET_DYN)
        fail(QStringLiteral("%1 is not a linked program (ELF type %2)"),
             QString::number(m_header.e_type));
}

// The number of section headers, after checking that the table lies inside the file. A count
// too large for e_shnum is kept in the first section header, which is read for it.
size_t ElfReader::checkedSectionCount()
{
    const uint64_t fileSize = uint64_t(m_bytes.size());
    const uint64_t entrySize = gelf_fsize(m_elf.get(), ELF_T_SHDR, 1, EV_CURRENT);
    const QString pastEnd = QStringLiteral("the section headers of %1 lie past the end of the file");
    const QString corrupt = QStringLiteral("the section headers of %1 are corrupt");
    size_t count = 0;
    if (m_header.e_shoff == 0)
        return 0;
    if (m_header.e_shentsize != entrySize)
        fail(corrupt);
    if (!fitsFile(m_header.e_shoff, m_header.e_shnum == 0 ? 1 : m_header.e_shnum, entrySize,
                  fileSize))
        fail(pastEnd);
    if (elf_getshdrnum(m_elf.get(), &count) != 0
        || (m_header.e_shnum == 0 && count < SHN_LORESERVE))
        fail(corrupt);
    if (!fitsFile(m_header.e_shoff, count, entrySize, fileSize))
        fail(pastEnd);
    return count;
}

void ElfReader::readLoadHeaders()
{
    const uint64_t fileSize = uint64_t(m_bytes.size());
    const uint64_t entrySize = gelf_fsize(m_elf.get(), ELF_T_PHDR, 1, EV_CURRENT);
    const QString pastEnd = QStringLiteral("the program headers of %1 lie past the end of the file");
    const QString corrupt = QStringLiteral("the program headers of %1 are corrupt");
    if (m_header.e_phnum != 0 && m_header.e_phentsize != entrySize)
        fail(corrupt);
    if (m_header.e_phnum != PN_XNUM
        && !fitsFile(m_header.e_phoff, m_header.e_phnum, entrySize, fileSize))
        fail(pastEnd);
    size_t count = 0;
    if (elf_getphdrnum(m_elf.get(), &count) != 0
        || (m_header.e_phnum == PN_XNUM && count < PN_XNUM))
        fail(corrupt);
    if (!fitsFile(m_header.e_phoff, count, entrySize, fileSize))
        fail(pastEnd);
    for (size_t index = 0; index < count; ++index) {
        GElf_Phdr program;
        if (!gelf_getphdr(m_elf.get(), int(index), &program))
            fail(corrupt);
        if (program.p_type != PT_LOAD)
            continue;
        if (!fitsFile(program.p_offset, program.p_filesz, 1, fileSize)) {
            fail(QStringLiteral("the contents of program header %2 of %1 lie past the end of the "
                                "file"),
                 QString::number(index));
        }
        m_loads.push_back(program);
    }
}

ElfSection ElfReader::readSection(const GElf_Shdr &header, const char *name) const
{
    ElfSection section;
    section.name = printableName(name);
    section.address = header.sh_addr;
    section.loadAddress = header.sh_addr;
    section.size = header.sh_size;
    section.hasContents = header.sh_type != SHT_NOBITS;
    section.isThreadLocalTemplate = !section.hasContents && (header.sh_flags & SHF_TLS) != 0;
    const QString outside
        = QStringLiteral("section '%2' of %1 runs past the end of the address space");
    if (!fitsAddressSpace(section.address, section.size, m_is64))
        fail(outside, pathFromBytes(section.name));
    if (!section.hasContents)
        return section;
    // The program header that holds the section's bytes in the file and its addresses in
    // memory gives the load address: the same offset from its physical address.
    for (const GElf_Phdr &load : m_loads) {
        const bool inFile = header.sh_offset >= load.p_offset
                            && header.sh_offset - load.p_offset <= load.p_filesz
                            && section.size <= load.p_filesz - (header.sh_offset - load.p_offset);
        const bool inMemory = section.address >= load.p_vaddr
                              && section.address - load.p_vaddr <= load.p_memsz
                              && section.size <= load.p_memsz - (section.address - load.p_vaddr);
        if (!inFile || !inMemory)
            continue;
        const uint64_t offset = section.address - load.p_vaddr;
        if (offset > UINT64_MAX - load.p_paddr
            || !fitsAddressSpace(load.p_paddr + offset, section.size, m_is64))
            fail(outside, pathFromBytes(section.name));
        section.loadAddress = load.p_paddr + offset;
        break;
    }
    return section;
}

std::vector<ElfSection> ElfReader::read()
{
    readElfHeader();
    const size_t sectionCount = checkedSectionCount();
    readLoadHeaders();
    std::vector<ElfSection> sections;
    if (sectionCount == 0)
        return sections;
    size_t namesIndex = 0;
    if (elf_getshdrstrndx(m_elf.get(), &namesIndex) != 0)
        fail(QStringLiteral("the section names of %1 are corrupt"));
    const uint64_t fileSize = uint64_t(m_bytes.size());
    for (Elf_Scn *scn = elf_nextscn(m_elf.get(), nullptr); scn;
         scn = elf_nextscn(m_elf.get(), scn)) {
        GElf_Shdr header;
        if (!gelf_getshdr(scn, &header))
            fail(QStringLiteral("the section headers of %1 are corrupt"));
        const char *name = elf_strptr(m_elf.get(), namesIndex, header.sh_name);
        if (!name)
            fail(QStringLiteral("the section names of %1 are corrupt"));
        if (header.sh_type != SHT_NOBITS && !fitsFile(header.sh_offset, header.sh_size, 1, fileSize))
            fail(QStringLiteral("section '%2' of %1 lies past the end of the file"),
                 pathFromBytes(printableName(name)));
        if ((header.sh_flags & SHF_ALLOC) != 0)
            sections.push_back(readSection(header, name));
    }
    return sections;
}

} // namespace

std::vector<ElfSection> readElfSections(QByteArray bytes, const QString &path)
{
    return ElfReader(std::move(bytes), path).read();
}

std::vector<ElfSection> readElfFile(const QString &path)
{
    QString failure;
    std::optional<QByteArray> bytes = readRegularFile(path, failure);
    if (!bytes)
        throw HException(QStringLiteral("cannot read '") + path + QStringLiteral("': ") + failure);
    return readElfSections(std::move(*bytes), path);
}

} // namespace ldweave

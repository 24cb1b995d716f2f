#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paxid {

// One record layout of index-data files: a line of ";"-separated fields that
// names documents in the index file's folder by number. The base class holds
// the layout's data and the range lookup; each layout names its documents
// its own way. Created for one record and freed after it.
class TIdxFormatClass {
public:
    TIdxFormatClass();
    virtual ~TIdxFormatClass() = default;
    TIdxFormatClass(const TIdxFormatClass&) = delete;
    TIdxFormatClass& operator=(const TIdxFormatClass&) = delete;

    virtual std::int32_t FirstDocNo(const std::string& record) const = 0;
    virtual std::int32_t LastDocNo(const std::string& record) const = 0;
    // Finds the first run of consecutive entries whose document number (the
    // number of the entry's base name) lies within FirstDocNo..LastDocNo,
    // removes it from entries and returns the run's first and last index (as
    // they were in entries) and the numbers of its first and last entry; all
    // four are -1 when no entry lies in the range.
    virtual void FindRange(const std::string& record, std::vector<std::string>& entries, std::int32_t& firstIndex,
                           std::int32_t& lastIndex, std::int32_t& firstNo, std::int32_t& lastNo) const;
    // Appends the full paths of the documents the record names; always true.
    virtual bool GetFiles(const std::string& record, std::vector<std::string>& files) const = 0;
    virtual std::int32_t DocCount(const std::string& record) const = 0;

    std::int32_t Id = -1;
    std::string Name;
    std::int32_t FirstDocField = 0;
    std::int32_t LastDocField = 0;
    std::int32_t CountField = 0;  // 0 when the layout has none
    char Separator = ';';
    std::string Folder;  // with a trailing '/' (or empty for the current folder)

    // Field k (1-based) of record, one double quote stripped from each end.
    std::string Field(const std::string& record, int k) const;
    // Field k as a number; 0 when it is not one.
    std::int32_t NumberField(const std::string& record, int k) const;
};

// "I02r": one file per number from field 4 to field 5, in the folder,
// zero-padded to the folder's digit width.
class TIdxFormatSPSDMVCS : public TIdxFormatClass {
public:
    TIdxFormatSPSDMVCS();
    std::int32_t FirstDocNo(const std::string& record) const override;
    std::int32_t LastDocNo(const std::string& record) const override;
    bool GetFiles(const std::string& record, std::vector<std::string>& files) const override;
    std::int32_t DocCount(const std::string& record) const override;
};

// "I05u": every file of the subfolder named by field 3 (10 digits, else 8, else unpadded).
class TIdxFormatSPMDMVCS : public TIdxFormatClass {
public:
    TIdxFormatSPMDMVCS();
    std::int32_t FirstDocNo(const std::string& record) const override;
    std::int32_t LastDocNo(const std::string& record) const override;
    bool GetFiles(const std::string& record, std::vector<std::string>& files) const override;
    std::int32_t DocCount(const std::string& record) const override;
};

// "I04t": the file named by field 3 as a number (10 digits, else 8, else
// unpadded) or, failing that, by field 3's text.
class TIdxFormatMPSDMVCS : public TIdxFormatClass {
public:
    TIdxFormatMPSDMVCS();
    std::int32_t FirstDocNo(const std::string& record) const override;
    std::int32_t LastDocNo(const std::string& record) const override;
    bool GetFiles(const std::string& record, std::vector<std::string>& files) const override;
    std::int32_t DocCount(const std::string& record) const override;
};

// The layout a record begins with (exactly "\"I02r\";", "\"I05u\";" or
// "\"I04t\";"); nullptr for any other record.
std::unique_ptr<TIdxFormatClass> IdxFormatFor(const std::string& record);

// Appends the documents record names, looked up in indexFile's folder.
void ExpandIndexData(const std::string& indexFile, const std::string& record, std::vector<std::string>& files);

// The children of an index-data node opened with record selector recordNo
// (1-based): the documents line recordNo names. Empty when recordNo is not
// above 0, the file has fewer lines, the line is empty or the file cannot be
// read (then the file is a page of its own).
std::vector<std::string> IndexDataChildNames(const std::string& indexFile, std::int32_t recordNo);

// The decimal text of number with "0"s in front up to width characters.
std::string ZeroPadded(std::int64_t number, int width);

}  // namespace paxid

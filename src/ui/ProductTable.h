// The maker's companion products, one row per Tools menu entry 25000 + k.
#pragma once

struct ProductInfo {
    const char* key;          // registry key below Software\Morvane
    const char* title;        // display name, begins with the maker's name
    const char* stem;         // download file is stem + "_d.exe"
    const char* pageFolder;   // web folder of the product page (not used here)
    const char* description;  // continues the title ("is ..."), no full stop
};

const int kProductCount = 13;
extern const ProductInfo ProductTable[kProductCount];

// Process-wide texts of the maker.
extern const char* const g_szWebPage;
extern const char* const g_szSupportMail;
extern const char* const g_szDownloadRoot;

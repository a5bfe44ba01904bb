// An executable whose version block lacks PrivateBuild, for the reader's tests.
__attribute__((section(".parvane.version"), used)) const char VersionBlock[] = "FileVersion\0"
                                                                               "2.3.4.5\0"
                                                                               "Comments\0"
                                                                               "fixture\0"
                                                                               "CompanyName\0"
                                                                               "Quillaby\0"
                                                                               "FileDescription\0"
                                                                               "version fixture\0"
                                                                               "InternalName\0"
                                                                               "version-fixture\0"
                                                                               "LegalCopyright\0"
                                                                               "none\0"
                                                                               "LegalTrademarks\0"
                                                                               "none\0"
                                                                               "OriginalFilename\0"
                                                                               "version-fixture\0"
                                                                               "ProductName\0"
                                                                               "Fixture\0"
                                                                               "ProductVersion\0"
                                                                               "6.7.8.9\0"
                                                                               "SpecialBuild\0"
                                                                               "yes\0";

int main() {
    return 0;
}
